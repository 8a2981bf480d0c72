#pragma once

// Drives the whole program in a real X session: starts processes, reads windows through X, sends
// real input through XTest, and reads the program's test probe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace dozewick::xdriver {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  int centerX() const { return x + w / 2; }
  int centerY() const { return y + h / 2; }
  int bottom() const { return y + h; }
};

inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (done())
      return true;
    std::this_thread::sleep_for(100ms);
  }
  return done();
}

// A child process with its standard input and output on pipes.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
        const std::string& logFile = {}) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
      return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      if (logFile.empty()) {
        dup2(out[1], 1);
      } else {
        const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(log, 1);
        dup2(log, 2);
      }
      for (const auto& pair : env)
        putenv(strdup(pair.c_str()));
      std::vector<char*> args;
      for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
  }
  ~Child() {
    if (toChild_ >= 0)
      close(toChild_);
    if (fromChild_ >= 0)
      close(fromChild_);
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGTERM);
      waitFor(5s);
      if (!exited_)
        kill(pid_, SIGKILL);
      waitFor(5s);
    }
  }

  pid_t pid() const { return pid_; }

  // One command line to the test client, and its one-line answer.
  std::string ask(const std::string& line) {
    const std::string sent = line + "\n";
    if (write(toChild_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size()))
      return {};
    return readLine();
  }

  std::string readLine() {
    std::string answer;
    char c;
    pollfd p{fromChild_, POLLIN, 0};
    while (poll(&p, 1, 20000) > 0 && read(fromChild_, &c, 1) == 1 && c != '\n')
      answer += c;
    return answer;
  }

  // The exit status once the process has ended within `limit`.
  std::optional<int> waitFor(std::chrono::milliseconds limit) {
    if (exited_)
      return status_;
    waitUntil(
        [&] {
          int status = 0;
          if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
          }
          return exited_;
        },
        limit);
    if (!exited_)
      return std::nullopt;
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

// The test's own view of the X server: reads windows and sends real input.
class Display {
 public:
  Display() : c_(xcb_connect(nullptr, nullptr)) {
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  }
  ~Display() { xcb_disconnect(c_); }
  bool usable() const { return !xcb_connection_has_error(c_); }
  xcb_window_t root() const { return screen_->root; }

  xcb_atom_t atom(const char* name) {
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr),
        &std::free);
    return r ? r->atom : XCB_NONE;
  }

  std::vector<std::uint32_t> cardinals(xcb_window_t w, const char* property) {
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
            nullptr),
        &std::free);
    if (!r || r->format != 32)
      return {};
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    const int bytes = xcb_get_property_value_length(r.get());
    if (bytes < 4)
      return {};
    return std::vector<std::uint32_t>(v, v + static_cast<std::size_t>(bytes) / 4);
  }

  std::optional<std::uint32_t> pidOf(xcb_window_t w) {
    const auto v = cardinals(w, "_NET_WM_PID");
    return v.empty() ? std::nullopt : std::optional(v[0]);
  }

  bool viewable(xcb_window_t w) {
    Reply<xcb_get_window_attributes_reply_t> r(
        xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr), &std::free);
    return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
  }

  bool iconic(xcb_window_t w) {
    const auto state = cardinals(w, "WM_STATE");
    return !state.empty() && state[0] == 3;
  }

  std::optional<Rect> geometry(xcb_window_t w) {
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr),
                                      &std::free);
    if (!g)
      return std::nullopt;
    Reply<xcb_translate_coordinates_reply_t> t(
        xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, w, root(), 0, 0),
                                        nullptr),
        &std::free);
    if (!t)
      return std::nullopt;
    return Rect{t->dst_x, t->dst_y, g->width, g->height};
  }

  std::vector<xcb_window_t> children(xcb_window_t w) {
    Reply<xcb_query_tree_reply_t> r(xcb_query_tree_reply(c_, xcb_query_tree(c_, w), nullptr),
                                    &std::free);
    if (!r)
      return {};
    const xcb_window_t* v = xcb_query_tree_children(r.get());
    return {v, v + xcb_query_tree_children_length(r.get())};
  }

  // Every window below `w`, depth first.
  void descendants(xcb_window_t w, std::vector<xcb_window_t>& out) {
    for (const xcb_window_t child : children(w)) {
      out.push_back(child);
      descendants(child, out);
    }
  }

  std::vector<xcb_window_t> clients() {
    const auto v = cardinals(root(), "_NET_CLIENT_LIST");
    return {v.begin(), v.end()};
  }

  xcb_window_t activeWindow() {
    const auto v = cardinals(root(), "_NET_ACTIVE_WINDOW");
    return v.empty() ? XCB_NONE : v[0];
  }

  void click(int x, int y, int button = 1) {
    xcb_test_fake_input(c_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root(),
                        static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 0);
    xcb_test_fake_input(c_, XCB_BUTTON_PRESS, static_cast<std::uint8_t>(button), XCB_CURRENT_TIME,
                        root(), 0, 0, 0);
    sync();
    std::this_thread::sleep_for(50ms);
    xcb_test_fake_input(c_, XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(button), XCB_CURRENT_TIME,
                        root(), 0, 0, 0);
    sync();
  }

  // A window of this test process itself.
  xcb_window_t openOwnWindow(const std::string& title) {
    const xcb_window_t w = xcb_generate_id(c_);
    const std::uint32_t values[] = {screen_->white_pixel};
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root(), 400, 500, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, XCB_CW_BACK_PIXEL,
                      values);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8,
                        static_cast<std::uint32_t>(title.size()), title.data());
    const char wmClass[] = "e2e\0EndToEnd";
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof(wmClass), wmClass);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                        &pid);
    xcb_map_window(c_, w);
    sync();
    return w;
  }

  // Asks the window manager to close the window, as its title bar's close button does.
  void close(xcb_window_t w) { askWindowManager(w, "_NET_CLOSE_WINDOW", XCB_CURRENT_TIME, 2); }

  // Asks the window manager to activate the window, as a taskbar does.
  void activate(xcb_window_t w) { askWindowManager(w, "_NET_ACTIVE_WINDOW", 2, XCB_CURRENT_TIME); }

  void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

  // An EWMH request: a client message about `w`, sent to the root window.
  void askWindowManager(xcb_window_t w, const char* type, std::uint32_t first,
                        std::uint32_t second) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = w;
    event.type = atom(type);
    event.data.data32[0] = first;
    event.data.data32[1] = second;
    xcb_send_event(c_, 0, root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    sync();
  }

 private:
  xcb_connection_t* c_;
  xcb_screen_t* screen_ = nullptr;
};

// What the program's test probe says: the tray icon, the panel, its buttons and texts.
struct Probe {
  std::optional<Rect> tray;
  bool panelShown = false;
  Rect panel;
  std::vector<std::pair<Rect, std::string>> buttons;
  std::vector<std::pair<Rect, std::string>> labels;

  static Probe read(const std::string& path) {
    Probe probe;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      std::vector<std::string> f;
      std::stringstream fields(line);
      for (std::string item; std::getline(fields, item, '\t');)
        f.push_back(item);
      auto rect = [&](std::size_t i) {
        return Rect{std::stoi(f.at(i)), std::stoi(f.at(i + 1)), std::stoi(f.at(i + 2)),
                    std::stoi(f.at(i + 3))};
      };
      if (f.empty())
        continue;
      if (f[0] == "tray" && f.size() >= 5)
        probe.tray = rect(1);
      if (f[0] == "popover" && f.size() >= 6 && f[1] == "1") {
        probe.panelShown = true;
        probe.panel = rect(2);
      }
      if (f[0] == "button" && f.size() >= 6)
        probe.buttons.emplace_back(rect(1), f[5]);
      if (f[0] == "label" && f.size() >= 6)
        probe.labels.emplace_back(rect(1), f[5]);
    }
    return probe;
  }

  std::optional<Rect> button(const std::string& name) const {
    for (const auto& [rect, text] : buttons)
      if (text == name)
        return rect;
    return std::nullopt;
  }
  bool showsText(const std::string& wanted) const {
    for (const auto& [rect, text] : labels)
      if (text.find(wanted) != std::string::npos)
        return true;
    for (const auto& [rect, text] : buttons)
      if (text.find(wanted) != std::string::npos)
        return true;
    return false;
  }
};

// A test that runs the program: a folder for its probe and output, shown when the test fails.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display.usable()) << "runs inside tools/x-session";
    dir = std::filesystem::temp_directory_path() / ("dozewick-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    probePath = (dir / "probe.txt").string();
    logPath = (dir / "dozewick.log").string();
  }
  void TearDown() override {
    if (HasFailure()) {
      std::ifstream log(logPath);
      std::cerr << "--- program output ---\n" << log.rdbuf() << "\n--- probe ---\n";
      std::ifstream probe(probePath);
      std::cerr << probe.rdbuf() << '\n';
    }
    std::filesystem::remove_all(dir);
  }

  std::unique_ptr<Child> launchProgram() {
    return std::make_unique<Child>(std::vector<std::string>{DOZEWICK_EXECUTABLE},
                                   std::vector<std::string>{"DOZEWICK_TEST_PROBE=" + probePath},
                                   logPath);
  }

  Probe probe() const { return Probe::read(probePath); }

  // The program's window of this process that the window manager manages and shows.
  std::optional<xcb_window_t> shownPanelWindow(pid_t pid) {
    for (const xcb_window_t w : display.clients()) {
      if (display.pidOf(w) == static_cast<std::uint32_t>(pid) && display.viewable(w))
        return w;
    }
    return std::nullopt;
  }

  // The icon as the tray embeds it: a window of the program inside another client's window.
  std::optional<Rect> embeddedTrayIcon(pid_t pid) {
    for (const xcb_window_t client : display.clients()) {
      if (display.pidOf(client) == static_cast<std::uint32_t>(pid))
        continue;
      std::vector<xcb_window_t> inside;
      display.descendants(client, inside);
      for (const xcb_window_t w : inside) {
        if (display.pidOf(w) == static_cast<std::uint32_t>(pid) && display.viewable(w))
          return display.geometry(w);
      }
    }
    return std::nullopt;
  }

  Display display;
  std::filesystem::path dir;
  std::string probePath;
  std::string logPath;
};

}  // namespace dozewick::xdriver
