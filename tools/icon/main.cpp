// icon-generator OUTPUT.ico: writes the program's icon.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "icon_art.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
    return 2;
  }
  try {
    using namespace quorvel::icon;
    std::vector<std::uint8_t> ico = EncodeIco(IconPalette(), DrawIconImages());
    std::FILE* f = std::fopen(argv[1], "wb");
    bool ok = f != nullptr && std::fwrite(ico.data(), 1, ico.size(), f) == ico.size();
    if (f != nullptr) ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], argv[1], std::strerror(errno));
      std::remove(argv[1]);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
