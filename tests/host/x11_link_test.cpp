// The X11 host link against a real X server: a private Xvfb per test, no
// window manager; where one matters, its client list is written by the test.
#include "host/x11_link.h"

// Before Xlib, whose macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace vellum::host {
namespace {

using Clock = std::chrono::steady_clock;

// A private Xvfb, ended with the object.
class XServer {
 public:
  XServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes its display number and a newline once it accepts clients.
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (pid_ > 0 && (number.empty() || number.back() != '\n') && Clock::now() < deadline) {
      pollfd fd{fds[0], POLLIN, 0};
      if (poll(&fd, 1, 100) <= 0) continue;
      char chunk[16];
      const ssize_t n = read(fds[0], chunk, sizeof chunk);
      if (n <= 0) break;
      number.append(chunk, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (!number.empty() && number.back() == '\n') {
      name_ = ":" + number.substr(0, number.size() - 1);
    }
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  // Empty when the server did not start.
  const std::string& Name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// A window of the test, destroyed with the object.
class TestWindow {
 public:
  TestWindow(Display* display, Window parent, bool override_redirect = false) : display_(display) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = override_redirect ? True : False;
    window_ = XCreateWindow(display, parent, 10, 10, 100, 100, 0, CopyFromParent, InputOutput,
                            CopyFromParent, CWOverrideRedirect, &attributes);
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  ~TestWindow() {
    XDestroyWindow(display_, window_);
    XSync(display_, False);
  }
  Window id() const { return window_; }

  TestWindow& Class(const char* window_class) {
    XClassHint hint{};
    std::string name = "test";
    std::string klass = window_class;
    hint.res_name = name.data();
    hint.res_class = klass.data();
    XSetClassHint(display_, window_, &hint);
    return *this;
  }
  TestWindow& Title(const char* title) {
    XStoreName(display_, window_, title);
    return *this;
  }
  TestWindow& Role(const char* role) {
    XChangeProperty(display_, window_, XInternAtom(display_, "WM_WINDOW_ROLE", False), XA_STRING, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(role),
                    static_cast<int>(std::string(role).size()));
    return *this;
  }
  TestWindow& Map() {
    XMapWindow(display_, window_);
    XSync(display_, False);
    return *this;
  }
  TestWindow& Unmap() {
    XUnmapWindow(display_, window_);
    XSync(display_, False);
    return *this;
  }

 private:
  Display* display_;
  Window window_ = 0;
};

class X11Link : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(server_.Name().empty()) << "Xvfb did not start";
    display_.reset(XOpenDisplay(server_.Name().c_str()));
    ASSERT_NE(display_, nullptr);
  }

  Display* display() const { return display_.get(); }
  Window root() const { return DefaultRootWindow(display_.get()); }

  // What a window manager announces as its clients, oldest first; none
  // removes the list.
  void SetClientList(const std::vector<Window>& windows) {
    const Atom list = XInternAtom(display(), "_NET_CLIENT_LIST", False);
    std::vector<unsigned long> ids(windows.begin(), windows.end());
    XChangeProperty(display(), root(), list, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(ids.data()),
                    static_cast<int>(ids.size()));
    if (windows.empty()) XDeleteProperty(display(), root(), list);
    XSync(display(), False);
  }

  XServer server_;
  DisplayPtr display_;
};

// Each case lays out its windows and tells which one the lookup must return
// (0: none).
class X11LinkLookup;
struct LookupCase {
  const char* what;
  std::function<Window(X11LinkLookup&)> lay_out;
};

class X11LinkLookup : public X11Link {
 public:
  TestWindow& Add(Window parent = 0, bool override_redirect = false) {
    windows_.push_back(
        std::make_unique<TestWindow>(display(), parent != 0 ? parent : root(), override_redirect));
    return *windows_.back();
  }
  using X11Link::SetClientList;

 protected:
  void Check(const std::vector<LookupCase>& cases,
             const std::function<std::optional<XWindow>(Display*)>& lookup) {
    for (const LookupCase& c : cases) {
      SCOPED_TRACE(c.what);
      const Window expected = c.lay_out(*this);
      XSync(display(), False);
      EXPECT_EQ(lookup(display()).value_or(0), expected);
      SetClientList({});
      // Children before the frames that hold them.
      while (!windows_.empty())
        windows_.pop_back();
    }
  }

 private:
  std::vector<std::unique_ptr<TestWindow>> windows_;
};

// The host is found as the Windows lookup by class finds it: shown, minimized
// or hidden alike, but never a pop-up (override-redirect) window.
TEST_F(X11LinkLookup, HostWindowIsFoundMappedOrNot) {
  const std::vector<LookupCase> cases = {
      {"shown", [](X11LinkLookup& t) { return t.Add().Class("TFrmORUmain").Map().id(); }},
      {"never shown",
       [](X11LinkLookup& t) { return t.Add().Class("TFrmORUmain").Title("Host").id(); }},
      {"hidden after being shown (no window manager)",
       [](X11LinkLookup& t) { return t.Add().Class("TFrmORUmain").Map().Unmap().id(); }},
      {"minimized: in the client list, unmapped",
       [](X11LinkLookup& t) {
         const Window other = t.Add().Class("Other").Map().id();
         const Window host = t.Add().Class("TFrmORUmain").id();
         t.SetClientList({host, other});
         return host;
       }},
      {"withdrawn: the client list does not hold it",
       [](X11LinkLookup& t) {
         const Window other = t.Add().Class("Other").Map().id();
         const Window host = t.Add().Class("TFrmORUmain").Map().Unmap().id();
         t.SetClientList({other});
         return host;
       }},
      {"in an unmapped frame of a window manager that keeps no client list",
       [](X11LinkLookup& t) {
         const Window frame = t.Add().id();
         return t.Add(frame).Class("TFrmORUmain").Map().id();
       }},
      {"a listed host comes before an unlisted one",
       [](X11LinkLookup& t) {
         const Window listed = t.Add().Class("TFrmORUmain").Map().id();
         t.Add().Class("TFrmORUmain");
         t.SetClientList({listed});
         return listed;
       }},
      {"a pop-up of the host's class is not its main window",
       [](X11LinkLookup& t) {
         t.Add(0, true).Class("TFrmORUmain").Map();
         return Window{0};
       }},
      {"another class",
       [](X11LinkLookup& t) {
         t.Add().Class("TFrmORUmainX").Map();
         t.Add().Class("tfrmorumain").Map();
         return Window{0};
       }},
  };
  Check(cases, [](Display* d) { return FindHostWindow(d); });
}

// The viewer: class and title, and of several such windows the one with the
// viewer's role (a message box of the same process may share class and title).
TEST_F(X11LinkLookup, ViewerWindowIsTheOneWithItsRole) {
  const auto viewer = [](X11LinkLookup& t) -> TestWindow& {
    return t.Add().Class("TfrmHView").Title("Vellum").Role(std::string(kViewerRole).c_str());
  };
  const auto look_alike = [](X11LinkLookup& t) -> TestWindow& {
    return t.Add().Class("TfrmHView").Title("Vellum");
  };
  const std::vector<LookupCase> cases = {
      {"shown", [&](X11LinkLookup& t) { return viewer(t).Map().id(); }},
      {"withdrawn (minimized without a window manager)",
       [&](X11LinkLookup& t) { return viewer(t).Map().Unmap().id(); }},
      {"a newer look-alike (a message box) shown over it",
       [&](X11LinkLookup& t) {
         const Window found = viewer(t).Map().id();
         look_alike(t).Map();
         return found;
       }},
      {"not shown yet and so not listed, while a listed look-alike is shown",
       [&](X11LinkLookup& t) {
         const Window found = viewer(t).id();
         t.SetClientList({look_alike(t).Map().id()});
         return found;
       }},
      {"a listed viewer before an unlisted one",
       [&](X11LinkLookup& t) {
         const Window listed = viewer(t).Map().id();
         viewer(t);
         t.SetClientList({listed});
         return listed;
       }},
      {"without the role (an earlier build): the newest",
       [&](X11LinkLookup& t) {
         look_alike(t).Map();
         return look_alike(t).Map().id();
       }},
      {"another title or class",
       [](X11LinkLookup& t) {
         t.Add().Class("TfrmHView").Title("Vellum 2").Role(std::string(kViewerRole).c_str()).Map();
         t.Add().Class("Vellum").Title("Vellum").Map();
         return Window{0};
       }},
  };
  Check(cases, [](Display* d) { return FindViewerWindow(d); });
}

// The drag docks to the host's rectangle: only a host on screen has one (on
// Windows a minimized window's rectangle lies far off the screen).
TEST_F(X11Link, FrameRectOnlyForAWindowOnScreen) {
  struct Case {
    const char* what;
    std::function<void(TestWindow&)> act;
    bool has_rect;
  } cases[] = {
      {"shown", [](TestWindow& w) { w.Map(); }, true},
      {"never shown", [](TestWindow&) {}, false},
      {"hidden after being shown", [](TestWindow& w) { w.Map().Unmap(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestWindow window(display(), root());
    c.act(window);
    const std::optional<ScreenRect> rect = FrameRect(display(), window.id());
    EXPECT_EQ(rect.has_value(), c.has_rect);
    if (rect) {
      EXPECT_EQ(std::make_tuple(rect->left, rect->top, rect->right, rect->bottom),
                std::make_tuple(10, 10, 110, 110));
    }
  }
  Window gone = 0;
  {
    TestWindow window(display(), root());
    window.Map();
    gone = window.id();
  }
  EXPECT_FALSE(FrameRect(display(), gone).has_value()) << "a window that has gone";
}

// A receiver's window: takes what arrives as the viewer and vellum-host serve
// do, on a doorbell or a new value of the property.
class Receiver {
 public:
  explicit Receiver(Display* display)
      : display_(display), window_(display, DefaultRootWindow(display)) {
    XSelectInput(display, window_.id(), PropertyChangeMask);
    XSync(display, False);
  }
  Window id() const { return window_.id(); }

  // Serves until the process ends (at most 10 s); its exit status, or -1.
  int ServeUntilExit(pid_t process) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
      bool take = false;
      while (XPending(display_) > 0) {
        XEvent event{};
        XNextEvent(display_, &event);
        take =
            take ||
            (event.type == ClientMessage && event.xclient.message_type == DoorbellAtom(display_)) ||
            (event.type == PropertyNotify && event.xproperty.atom == CopyDataAtom(display_) &&
             event.xproperty.state == PropertyNewValue);
      }
      if (take) {
        for (Message& m : TakeMessages(display_, id()))
          received.push_back(std::move(m));
      }
      int status = 0;
      if (waitpid(process, &status, WNOHANG) == process)
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      if (Clock::now() >= deadline) {
        kill(process, SIGKILL);
        waitpid(process, nullptr, 0);
        return -1;
      }
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      poll(&fd, 1, 10);
    }
  }

  std::vector<Message> received;

 private:
  Display* display_;
  TestWindow window_;
};

// Sends one message from a process of its own, on a connection of its own;
// the process exits with the SendStatus.
pid_t SendFromChild(const std::string& display_name, Window target, const Message& message) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  Display* display = XOpenDisplay(display_name.c_str());
  if (display == nullptr) _exit(100);
  const SendStatus status = SendMessage(display, target, message, 2000);
  XCloseDisplay(display);
  _exit(static_cast<int>(status));
}

// Whatever another client writes to the property, the receiver's next take
// clears it: a property left behind would make every later append fail (a
// foreign type or format) or never be deleted (more than one read takes).
TEST_F(X11Link, AnOddPropertyIsTakenAwayAndTheNextMessageArrives) {
  const DisplayPtr other(XOpenDisplay(server_.Name().c_str()));
  ASSERT_NE(other, nullptr);
  Display* writer = other.get();
  const Atom property = CopyDataAtom(writer);
  const auto write = [&](Window w, Atom type, int format, const std::string& bytes, int mode) {
    const int items = static_cast<int>(bytes.size()) / (format / 8);
    XChangeProperty(writer, w, property, type, format, mode,
                    reinterpret_cast<const unsigned char*>(bytes.data()), items);
  };
  struct Case {
    const char* what;
    std::function<void(Window)> spoil;
  } cases[] = {
      {"a foreign type", [&](Window w) { write(w, XA_STRING, 8, "junk", PropModeReplace); }},
      {"the protocol's type in 32-bit items",
       [&](Window w) { write(w, property, 32, std::string(16, '\x01'), PropModeReplace); }},
      {"a frame that claims more than it holds",
       [&](Window w) {
         std::string frame = EncodeFrame({kShowLocation, 0, "abcd"});
         frame[9] = '\x20';  // a length of 2 MiB and four bytes
         write(w, property, 8, frame, PropModeReplace);
       }},
      {"more than one read takes (72 MiB)",
       [&](Window w) {
         const std::string chunk(8 << 20, '\xFF');
         for (int i = 0; i < 9; ++i)
           write(w, property, 8, chunk, PropModeAppend);
       }},
  };
  const Message message{kShowLocation, 0x1234,
                        std::string("\x03"
                                    "ALP",
                                    4) +
                            std::string(12, '\0')};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Receiver receiver(display());
    c.spoil(receiver.id());
    XSync(writer, False);
    EXPECT_TRUE(TakeMessages(display(), receiver.id()).empty());

    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(writer, receiver.id(), property, 0, 0, False, AnyPropertyType, &type,
                       &format, &items, &after, &data);
    if (data != nullptr) XFree(data);
    EXPECT_EQ(type, static_cast<Atom>(None)) << "the property is left behind";

    const int status =
        receiver.ServeUntilExit(SendFromChild(server_.Name(), receiver.id(), message));
    EXPECT_EQ(status, static_cast<int>(SendStatus::kTaken));
    EXPECT_EQ(receiver.received, std::vector<Message>{message});
  }
}

}  // namespace
}  // namespace vellum::host
