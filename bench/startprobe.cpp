// Times a program from outside, through the X server, the way a user sees it start:
//
//   startprobe [options] -- PROGRAM ARGS...
//
// It starts PROGRAM (fork + exec, in a process group of its own) and prints, in ms since the
// exec, when its first top-level window was mapped and, with --expect, when the given pixels
// of that window first showed the given colours. Options:
//   --expect X,Y,R,G,B     a window-relative pixel that must show this colour (repeatable)
//   --settle MS            after the last timestamp, wait MS and then report the resident
//                          memory of the program's whole process tree
//   --then COMMAND         after --settle, run COMMAND (through the shell) while the program is
//                          still there; its output goes to ours
//   --click X,Y --back X,Y --clicks N --port P
//                          then click the window at X,Y N times; after each click wait for the
//                          first HTTP request line at 127.0.0.1:P (answered with a tiny page)
//                          and print the time from the button's press to it; click at the
//                          --back point after each one
//   --root                 the program draws inside a window that is already there (a virtual
//                          desktop): no map is awaited, --expect and --click points are on the
//                          screen
//   --timeout S            give up after S seconds (default 20)
// Output: key=value lines on stdout. Exit 0 when everything asked for was seen.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Expect {
  int x, y, r, g, b;
};
struct Point {
  int x = -1, y = -1;
};

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "startprobe: %s\n", why.c_str());
  std::exit(2);
}

int IgnoreXErrors(Display*, XErrorEvent*) {
  return 0;  // the window may go or be unmapped between two requests
}

int Shift(unsigned long mask) {
  int s = 0;
  while (mask != 0 && (mask & 1) == 0) {
    mask >>= 1;
    ++s;
  }
  return s;
}

bool PixelIs(Display* d, Window w, const Expect& e) {
  XImage* image = XGetImage(d, w, e.x, e.y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  const unsigned long p = XGetPixel(image, 0, 0);
  const int r = int((p & image->red_mask) >> Shift(image->red_mask));
  const int g = int((p & image->green_mask) >> Shift(image->green_mask));
  const int b = int((p & image->blue_mask) >> Shift(image->blue_mask));
  XDestroyImage(image);
  return std::abs(r - e.r) <= 2 && std::abs(g - e.g) <= 2 && std::abs(b - e.b) <= 2;
}

// Every process whose ancestry leads to `root`, itself included.
std::vector<pid_t> Tree(pid_t root) {
  std::map<pid_t, pid_t> parent;
  if (DIR* proc = opendir("/proc")) {
    while (dirent* entry = readdir(proc)) {
      const pid_t pid = std::atoi(entry->d_name);
      if (pid <= 0) continue;
      std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
      std::string text((std::istreambuf_iterator<char>(stat)), {});
      const auto close = text.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(text.substr(close + 2));
      char state;
      pid_t ppid;
      if (rest >> state >> ppid) parent[pid] = ppid;
    }
    closedir(proc);
  }
  std::vector<pid_t> tree;
  for (const auto& [pid, ppid] : parent) {
    for (pid_t at = pid; at > 1;) {
      if (at == root) {
        tree.push_back(pid);
        break;
      }
      auto up = parent.find(at);
      if (up == parent.end()) break;
      at = up->second;
    }
  }
  return tree;
}

long FieldKb(const std::string& file, const char* name) {
  std::ifstream in(file);
  std::string line;
  const std::size_t length = std::strlen(name);
  while (std::getline(in, line))
    if (line.compare(0, length, name) == 0) return std::atol(line.c_str() + length);
  return 0;
}

// Anonymous blocks of exactly one decoded picture's size (rounded up to pages as malloc maps
// them): how many copies of the pixels the process holds.
int PictureSizedBlocks(pid_t pid, long pictureBytes) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line;
  int count = 0;
  while (std::getline(maps, line)) {
    unsigned long from = 0, to = 0;
    char perms[8] = {};
    unsigned long offset = 0;
    char dev[16] = {};
    unsigned long inode = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx %7s %lx %15s %lu", &from, &to, perms, &offset, dev,
                    &inode) != 6 ||
        inode != 0)
      continue;
    const long size = long(to - from);
    if (size >= pictureBytes && size < pictureBytes + 3 * 4096) ++count;
  }
  return count;
}

struct Connection {
  int fd;
  std::string received;
  double firstByte = 0;
};

constexpr char kAnswer[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 26\r\n"
    "Connection: close\r\n\r\n<!DOCTYPE html><p>ok</p>\n";

// The stand-in parse service: answers everything with a tiny page, and says when a request
// line for the parse address arrived.
class Listener {
 public:
  explicit Listener(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 16) != 0)
      Fail("cannot listen on port " + std::to_string(port));
  }

  // Serves until a parse request arrives or the deadline passes; its arrival time or 0.
  double WaitForParseRequest(double deadline, std::string* line) {
    while (Now() < deadline) {
      std::vector<pollfd> fds{{fd_, POLLIN, 0}};
      for (const Connection& c : connections_) fds.push_back({c.fd, POLLIN, 0});
      poll(fds.data(), fds.size(), 5);
      for (;;) {
        const int client = accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) break;
        connections_.push_back({client, {}, 0});
      }
      double found = 0;
      for (auto at = connections_.begin(); at != connections_.end();) {
        char buffer[4096];
        const ssize_t n = read(at->fd, buffer, sizeof buffer);
        if (n > 0) {
          if (at->received.empty()) at->firstByte = Now();
          at->received.append(buffer, std::size_t(n));
        }
        const bool closed = n == 0 || (n < 0 && errno != EAGAIN);
        if (!closed && at->received.find("\r\n\r\n") == std::string::npos) {
          ++at;
          continue;
        }
        if (!closed) {
          if (write(at->fd, kAnswer, sizeof kAnswer - 1) < 0) {
            // the program went away; nothing to answer
          }
          const std::string first = at->received.substr(0, at->received.find("\r\n"));
          if (first.rfind("GET /?url=", 0) == 0 && found == 0) {
            found = at->firstByte;
            if (line != nullptr) *line = first;
          }
        }
        close(at->fd);
        at = connections_.erase(at);
      }
      if (found != 0) return found;
    }
    return 0;
  }

 private:
  int fd_ = -1;
  std::vector<Connection> connections_;
};

void Click(Display* d, int x, int y) {
  XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XTestFakeButtonEvent(d, 1, False, CurrentTime);
  XFlush(d);
}

Point ParsePoint(const char* text) {
  Point p;
  if (std::sscanf(text, "%d,%d", &p.x, &p.y) != 2) Fail(std::string("bad point ") + text);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Expect> expects;
  int settleMs = -1, clicks = 0, port = 0;
  double timeout = 20;
  long pictureBytes = 1393L * 860 * 4;
  Point click, back;
  bool onRoot = false;
  std::string then;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) Fail("missing value for " + option);
    const char* value = argv[++i];
    if (option == "--expect") {
      Expect e;
      if (std::sscanf(value, "%d,%d,%d,%d,%d", &e.x, &e.y, &e.r, &e.g, &e.b) != 5)
        Fail("bad --expect");
      expects.push_back(e);
    } else if (option == "--root") {
      onRoot = true;
      --i;  // takes no value
    } else if (option == "--then") {
      then = value;
    } else if (option == "--settle") {
      settleMs = std::atoi(value);
    } else if (option == "--timeout") {
      timeout = std::atof(value);
    } else if (option == "--click") {
      click = ParsePoint(value);
    } else if (option == "--back") {
      back = ParsePoint(value);
    } else if (option == "--clicks") {
      clicks = std::atoi(value);
    } else if (option == "--port") {
      port = std::atoi(value);
    } else if (option == "--picture-bytes") {
      pictureBytes = std::atol(value);
    } else {
      Fail("unknown option " + option);
    }
  }
  if (i + 1 >= argc) Fail("usage: startprobe [options] -- PROGRAM ARGS...");
  char** program = argv + i + 1;

  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) Fail("cannot open the display");
  XSetErrorHandler(IgnoreXErrors);
  const Window root = DefaultRootWindow(d);
  XSelectInput(d, root, SubstructureNotifyMask);
  XSync(d, False);
  // Listening before the start, so the program never finds the port closed.
  Listener* listener = clicks > 0 ? new Listener(port) : nullptr;

  // On a shared screen the last run's pixels must be gone first, or they would be taken for ours.
  if (onRoot && !expects.empty()) {
    auto showing = [&] {
      for (const Expect& e : expects)
        if (!PixelIs(d, root, e)) return false;
      return true;
    };
    for (int k = 0; k < 300 && showing(); ++k) usleep(10000);
    if (showing()) Fail("the expected pixels show before the program starts");
  }

  const double start = Now();
  const pid_t child = fork();
  if (child < 0) Fail("fork failed");
  if (child == 0) {
    setpgid(0, 0);
    execvp(program[0], program);
    std::_Exit(127);
  }
  setpgid(child, child);
  const double deadline = start + timeout * 1000;

  auto finish = [&](int code) {
    kill(-child, SIGTERM);
    for (int k = 0; k < 200 && waitpid(child, nullptr, WNOHANG) == 0; ++k) usleep(10000);
    kill(-child, SIGKILL);
    waitpid(child, nullptr, 0);
    // Helpers that left the group (a web engine's sandbox) go with a signal of their own.
    for (pid_t pid : Tree(child)) kill(pid, SIGKILL);
    std::fflush(stdout);
    std::exit(code);
  };

  Window window = onRoot ? root : 0;
  double mapped = start;
  while (window == 0) {
    while (XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect && window == 0) {
        mapped = Now();
        window = event.xmap.window;
      }
    }
    if (window != 0) break;
    if (Now() > deadline || waitpid(child, nullptr, WNOHANG) == child) {
      std::printf("error=no window mapped\n");
      finish(1);
    }
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    poll(&fd, 1, 5);
  }
  if (!onRoot) std::printf("mapped_ms=%.2f\n", mapped - start);

  double last = mapped;
  if (!expects.empty()) {
    double painted = 0;
    while (painted == 0) {
      bool all = true;
      for (const Expect& e : expects) all = all && PixelIs(d, window, e);
      if (all) {
        painted = Now();
        break;
      }
      if (Now() > deadline) {
        std::printf("error=pixels never showed\n");
        finish(1);
      }
      usleep(1000);
    }
    std::printf("painted_ms=%.2f\n", painted - start);
    std::printf("procs_at_paint=%zu\n", Tree(child).size());
    last = painted;
  }

  if (settleMs >= 0) {
    const double until = last + settleMs;
    while (Now() < until) usleep(10000);
    long rss = 0, pss = 0;
    const std::vector<pid_t> tree = Tree(child);
    for (pid_t pid : tree) {
      rss += FieldKb("/proc/" + std::to_string(pid) + "/status", "VmRSS:");
      pss += FieldKb("/proc/" + std::to_string(pid) + "/smaps_rollup", "Pss:");
    }
    std::printf("procs_settled=%zu\nrss_kb=%ld\npss_kb=%ld\npicture_blocks=%d\n", tree.size(), rss,
                pss, PictureSizedBlocks(child, pictureBytes));
    std::fflush(stdout);
    if (!then.empty() && std::system(then.c_str()) != 0) std::printf("error=--then failed\n");
  }

  if (clicks > 0) {
    int rootX = 0, rootY = 0;
    Window unused;
    XTranslateCoordinates(d, window, root, 0, 0, &rootX, &rootY, &unused);
    for (int n = 0; n < clicks; ++n) {
      const double pressed = Now();
      Click(d, rootX + click.x, rootY + click.y);
      std::string line;
      const double arrived = listener->WaitForParseRequest(Now() + 10000, &line);
      if (arrived == 0) {
        std::printf("error=no request after click %d\n", n + 1);
        finish(1);
      }
      std::printf("click_ms=%.3f\n", arrived - pressed);
      if (n == 0) std::printf("request=%s\n", line.c_str());
      if (back.x >= 0) Click(d, rootX + back.x, rootY + back.y);
      // Let the page settle and the return land before the next press.
      listener->WaitForParseRequest(Now() + 120, nullptr);
    }
  }
  finish(0);
}
