#pragma once

#include <initializer_list>

namespace quorvel::commands {

// Joins the texts, in order, into one new block the caller releases with FreeBlock. A missing
// text (nullptr) counts as empty.
char* TextJoin(std::initializer_list<const char*> texts);

}  // namespace quorvel::commands
