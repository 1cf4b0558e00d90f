"""The hostile and odd texts both programs are tried with, and what each one's engine sends.

Texts that name the decoy would reach it if an engine took them for an authority, a path or a
script; the others try the same with a name. Each row gives, for WebKitGTK and for the Windows
engine under Wine, the request target the parse service must see:
  TYPED    "/?url=" and the text as it stands
  ENCODED  "/?url=" and the text as that engine encodes it (the suite says how)
  a string that target exactly; SKIP where a text cannot be entered on that platform.
"""
from typing import NamedTuple, Union

OTHER_PORT = 47813  # a decoy standing for "another host": nothing may ever reach it
DECOY = "127.0.0.1:%d" % OTHER_PORT
TYPED, ENCODED, SKIP = "typed", "encoded", "skip"


class Text(NamedTuple):
    what: str
    text: str
    how: str  # "type" or "paste"
    webkit: Union[str, None]
    wine: Union[str, None]


TEXTS = [
    Text("userinfo", "@other.example", "type", TYPED, TYPED),
    Text("userinfo, decoy", "@" + DECOY, "type", TYPED, TYPED),
    Text("scheme-relative", "//other.example/x", "type", TYPED, TYPED),
    Text("scheme-relative, decoy", "//%s/x" % DECOY, "type", TYPED, TYPED),
    Text("backslashes", "\\\\other", "type", TYPED, "/?url=%5C%5Cother"),
    Text("backslashes, decoy", "\\\\%s\\x" % DECOY, "type", TYPED,
         "/?url=%%5C%%5C%s%%5Cx" % DECOY),
    Text("encoded slashes", "%2F%2Fother", "type", TYPED, TYPED),
    Text("encoded slashes, decoy", "%2F%2F" + DECOY, "type", TYPED, TYPED),
    Text("full address of the decoy", "http://%s/" % DECOY, "type", TYPED, TYPED),
    Text("script", "javascript:alert(1)", "type", TYPED, TYPED),
    Text("script, decoy", "javascript:fetch('http://%s/js')" % DECOY, "type",
         "/?url=javascript:fetch(%%27http://%s/js%%27)" % DECOY, TYPED),
    # CR and LF never reach the request line: WebKit drops them, the Windows box keeps a pasted
    # text up to its first line break.
    Text("CR and LF", "a\r\nHost: other.example\r\n\r\nb", "paste",
         "/?url=aHost:%20other.exampleb", "/?url=a"),
    # The Windows engine leaves the marks out of the address it sends (the box holds them).
    Text("right-to-left mark", "\u200fabc\u200f", "type", ENCODED, "/?url=abc"),
    Text("emoji", "\U0001F3AC\U0001F600", "type", ENCODED, ENCODED),
    # A lone surrogate cannot be held in UTF-8: it becomes U+FFFD, and what follows it stays.
    Text("lone surrogate, typed", "a\ud800b", "type", SKIP, "/?url=a\ufffdb"),
    Text("lone surrogate, pasted", "c\udc00d", "paste", SKIP, "/?url=c\ufffdd"),
    Text("100,000 characters", "y" * 100000, "paste", ENCODED, TYPED),
    Text("1,000,000 characters", "z" * 1000000, "paste", ENCODED, TYPED),
    Text("30,000 three-byte characters", "视" * 30000, "paste", ENCODED, ENCODED),
]


def expected(row, column, encode):
    """The target a row wants on one platform (`column` "webkit" or "wine"), SKIP, or None."""
    wanted = getattr(row, column)
    if wanted == TYPED:
        return "/?url=" + row.text
    if wanted == ENCODED:
        return "/?url=" + encode(row.text)
    return wanted
