// The interface language and its texts by key.
#include "localization/language_manager.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace dozewick {

namespace {

constexpr const char* kAppLanguageKey = "app_language";

std::string initialLanguage(const Preferences& preferences, const std::vector<Language>& available,
                            const std::vector<std::string>& systemLanguages) {
  if (auto saved = preferences.string(kAppLanguageKey)) {
    const bool known = std::any_of(available.begin(), available.end(),
                                   [&](const Language& l) { return l.code == *saved; });
    if (known)
      return *saved;
  }
  const std::string preferred = systemLanguages.empty() ? "en" : systemLanguages.front();
  return preferred.starts_with("zh") ? "zh-Hans" : "en";
}

}  // namespace

LanguageManager::LanguageManager(Preferences& preferences, std::vector<std::string> systemLanguages,
                                 std::ostream* errors)
    : preferences_(preferences),
      errors_(errors),
      availableLanguages_{{"en", "English"}, {"zh-Hans", "简体中文"}} {
  // Nobody observes yet, so this assignment is silent; nothing is written until the user chooses.
  currentLanguage_ = initialLanguage(preferences_, availableLanguages_, systemLanguages);
}

void LanguageManager::setCurrentLanguage(std::string code) {
  const std::string previous = currentLanguage_.get();
  currentLanguage_ = std::move(code);
  if (currentLanguage_.get() == previous)
    return;
  preferences_.setString(kAppLanguageKey, currentLanguage_.get());
  if (auto error = preferences_.synchronize()) {
    if (errors_)
      *errors_ << "Failed to save the language: " << *error << std::endl;
    saveError_ = *error;
    // The store kept what is on disk; so does the interface, and the settings say why.
    currentLanguage_ = previous;
  } else if (!saveError_.get().empty()) {
    saveError_ = std::string();
  }
  // Views that look texts up by key redraw once the new value is in place.
  sendObjectWillChange();
}

std::string LanguageManager::localizedString(const std::string& key) const {
  const auto& tables = builtInTables();
  const auto table = tables.find(currentLanguage_.get());
  if (table == tables.end())
    return key;
  const auto text = table->second.find(key);
  return text == table->second.end() ? key : text->second;
}

const std::map<std::string, LanguageManager::Table>& LanguageManager::builtInTables() {
  static const std::map<std::string, Table> tables{
      {"en",
       {
           {"app.name", "Dozewick"},
           {"status.running", "Running"},
           {"status.stopped", "Stopped"},
           {"status.needPermission", "Need Permission"},
           {"status.permission.ok", "Permission OK"},
           {"status.permission.needed", "Permission Required"},
           {"status.permission.granted", "Permission Granted"},
           {"status.permission.restart", "Restart App Needed"},
           {"status.checking", "Checking..."},
           {"status.timeout", "Timeout, restart app"},
           {"status.loginNeeded", "Log out and back in to finish"},
           {"status.noIconify", "This window manager does not iconify windows"},
           {"window.active", "Active"},
           {"window.minimized", "Minimized"},
           {"window.kept", "Kept open by the window manager"},
           {"window.nextCheck", "Next Check"},
           {"button.start", "Start"},
           {"button.stop", "Stop"},
           {"button.quit", "Quit"},
           {"button.refresh", "Refresh"},
           {"button.authorize", "Authorize"},
           {"button.close", "Close"},
           {"permission.title", "Accessibility Required"},
           {"permission.message",
            "Dozewick needs access to other applications' windows. On GNOME, Authorize installs "
            "a small shell extension; elsewhere it opens a help page."},
           {"permission.step1", "Press Authorize"},
           {"permission.step2", "GNOME: log out and log back in"},
           {"permission.step3", "Other desktops: see the help page"},
           {"permission.step4", "Return and press Refresh"},
           {"permission.step4.restart", "After logging in, start Dozewick again"},
           {"permission.step4.autostart", "After logging in, Dozewick starts by itself"},
           {"permission.launchAtLogin", "Start Dozewick at Login"},
           {"rules.title", "How it works"},
           {"rules.autoMinimize", "Auto-minimize inactive windows after 1 min"},
           {"rules.keepRecent", "Keep 3 most recently used windows"},
           {"rules.saveGPU", "Save GPU resources"},
           {"language.title", "Language"},
           {"settings.title", "Settings"},
           {"settings.launchAtLogin", "Launch at Login"},
           {"settings.launchAtLogin.desc", "Start automatically when you log in"},
           {"settings.notSaved", "Not saved:"},
           {"extension.link",
            "%1 is a link to %2. Dozewick leaves it as it is. To let Dozewick install its "
            "extension, remove the link, then press %3 again."},
           {"extension.foreign",
            "%1 is not Dozewick's extension. Dozewick leaves it as it is. Move it elsewhere, then "
            "press %3 again."},
           {"extension.newer",
            "A newer Dozewick extension (version %1) is installed at %2. Dozewick keeps it, but "
            "this version of Dozewick cannot use it: update Dozewick."},
           {"extension.failed",
            "The extension could not be installed, and nothing was changed: %1"},
           {"button.topBarIcon", "Show Icon in Top Bar"},
           {"topBar.restart",
            "The icon is installed. GNOME Shell shows it once it restarts: press Alt+F2, type r "
            "and press Enter (your windows stay open), or log out and back in."},
           {"menu.open", "Open Dozewick"},
           {"help.title", "Help"},
           {"help.missing",
            "The help page is not installed: it belongs in share/dozewick/help beside the folder "
            "of the dozewick program."},
           {"help.noBrowser", "No web browser is set up to open links. The address:"},
           {"needs.x11", "X11: needs a window manager that follows EWMH; most do."},
           {"needs.x11.wayland",
            "This Wayland session hides other programs' windows: choose an X11 session at "
            "login."},
           {"needs.kwin", "KDE Plasma: needs KWin's scripting on the session bus."},
           {"needs.gnome", "GNOME: needs Dozewick's shell extension, loaded at login."},
           {"needs.none",
            "This session hides other programs' windows: choose an X11, KDE Plasma or GNOME "
            "session at login."},
           {"tray.state.running", "running"},
           {"tray.state.stopped", "stopped"},
           {"tray.state.needPermission", "needs permission"},
           {"tray.state.checking", "checking"},
           {"tray.tooltip.state", "%1: %2"},
           {"tray.tooltip.counts", "%1: %2, %3 active, %4 minimized"},
           {"menu.about", "About Dozewick"},
           {"button.bringBack", "Bring Back Windows"},
           {"about.version", "Version %1"},
           {"about.license", "Licence: %1"},
           {"about.homePage", "Home page: %1"},
           {"settings.startAtLaunch", "Start minimizing when Dozewick starts"},
           {"settings.idleTime", "Minimize after"},
           {"settings.idleTime.desc", "Idle time before a window goes"},
           {"settings.protected", "Recent windows kept"},
           {"settings.protected.desc", "The most recently used idle windows stay"},
           {"settings.neverHide", "Never minimize"},
           {"settings.neverHide.desc", "Applications you keep on screen"},
           {"settings.neverHide.add", "Add"},
           {"settings.neverHide.remove", "Remove"},
           {"settings.neverHide.noneOnScreen", "No other application has windows on screen"},
           {"duration.seconds", "%1 s"},
           {"duration.minutes", "%1 min"},
           {"duration.hours", "%1 h"},
       }},
      {"zh-Hans",
       {
           {"app.name", "Dozewick"},
           {"status.running", "运行中"},
           {"status.stopped", "已停止"},
           {"status.needPermission", "需要权限"},
           {"status.permission.ok", "权限正常"},
           {"status.permission.needed", "需要授权"},
           {"status.permission.granted", "权限已获取"},
           {"status.permission.restart", "需重启应用"},
           {"status.checking", "正在检查"},
           {"status.timeout", "检测超时，请重启应用"},
           {"status.loginNeeded", "请注销并重新登录以完成"},
           {"status.noIconify", "此窗口管理器不会最小化窗口"},
           {"window.active", "活跃窗口"},
           {"window.minimized", "已最小化"},
           {"window.kept", "窗口管理器保持打开"},
           {"window.nextCheck", "下次检查"},
           {"button.start", "启动"},
           {"button.stop", "停止"},
           {"button.quit", "退出程序"},
           {"button.refresh", "刷新状态"},
           {"button.authorize", "去授权"},
           {"button.close", "关闭"},
           {"permission.title", "需要辅助功能权限"},
           {"permission.message",
            "Dozewick 需要访问其他应用的窗口。在 GNOME 上，“去授权”会安装一个小型 Shell "
            "扩展；在其他桌面上会打开帮助页面。"},
           {"permission.step1", "点击“去授权”"},
           {"permission.step2", "GNOME：注销后重新登录"},
           {"permission.step3", "其他桌面：查看帮助页面"},
           {"permission.step4", "返回并点击“刷新状态”"},
           {"permission.step4.restart", "登录后请再次启动 Dozewick"},
           {"permission.step4.autostart", "登录后 Dozewick 会自动启动"},
           {"permission.launchAtLogin", "登录时启动 Dozewick"},
           {"rules.title", "工作原理"},
           {"rules.autoMinimize", "不活动窗口1分钟后自动最小化"},
           {"rules.keepRecent", "保留最近使用的3个窗口"},
           {"rules.saveGPU", "释放GPU资源"},
           {"language.title", "语言"},
           {"settings.title", "设置"},
           {"settings.launchAtLogin", "开机启动"},
           {"settings.launchAtLogin.desc", "登录时自动启动"},
           {"settings.notSaved", "未保存："},
           {"extension.link",
            "%1 是指向 %2 的链接。Dozewick 不会改动它。如需让 Dozewick 安装其扩展，请删除该链接，"
            "然后再次点击“%3”。"},
           {"extension.foreign",
            "%1 不是 Dozewick 的扩展。Dozewick 不会改动它。请将其移到别处，然后再次点击“%3”。"},
           {"extension.newer",
            "%2 中已安装更新版本的 Dozewick 扩展（版本 %1）。Dozewick 会保留它，但当前版本的 "
            "Dozewick 无法使用它：请更新 Dozewick。"},
           {"extension.failed", "无法安装扩展，未做任何更改：%1"},
           {"button.topBarIcon", "在顶栏显示图标"},
           {"topBar.restart",
            "图标已安装。GNOME Shell 重新启动后即会显示：按 Alt+F2，输入 r "
            "并按回车（窗口保持打开），"
            "或注销后重新登录。"},
           {"menu.open", "打开 Dozewick"},
           {"help.title", "帮助"},
           {"help.missing",
            "帮助页面未安装：它应位于 dozewick 程序所在文件夹旁的 share/dozewick/help 中。"},
           {"help.noBrowser", "没有可打开链接的网页浏览器。地址："},
           {"needs.x11", "X11：需要遵循 EWMH 的窗口管理器，大多数都遵循。"},
           {"needs.x11.wayland",
            "此 Wayland 会话不允许查看其他程序的窗口：请在登录时选择 X11 会话。"},
           {"needs.kwin", "KDE Plasma：需要会话总线上的 KWin 脚本接口。"},
           {"needs.gnome", "GNOME：需要 Dozewick 的 Shell 扩展，登录时加载。"},
           {"needs.none",
            "此会话不允许查看其他程序的窗口：请在登录时选择 X11、KDE Plasma 或 GNOME 会话。"},
           {"tray.state.running", "运行中"},
           {"tray.state.stopped", "已停止"},
           {"tray.state.needPermission", "需要权限"},
           {"tray.state.checking", "正在检查"},
           {"tray.tooltip.state", "%1：%2"},
           {"tray.tooltip.counts", "%1：%2，%3 个活跃，%4 个已最小化"},
           {"menu.about", "关于 Dozewick"},
           {"button.bringBack", "恢复窗口"},
           {"about.version", "版本 %1"},
           {"about.license", "许可证：%1"},
           {"about.homePage", "主页：%1"},
           {"settings.startAtLaunch", "Dozewick 启动时即开始最小化"},
           {"settings.idleTime", "闲置多久后最小化"},
           {"settings.idleTime.desc", "窗口闲置达到此时长后被最小化"},
           {"settings.protected", "保留最近使用的窗口"},
           {"settings.protected.desc", "闲置窗口中最近使用的几个保持不动"},
           {"settings.neverHide", "从不最小化"},
           {"settings.neverHide.desc", "始终保留在屏幕上的应用"},
           {"settings.neverHide.add", "添加"},
           {"settings.neverHide.remove", "移除"},
           {"settings.neverHide.noneOnScreen", "屏幕上没有其他应用的窗口"},
           {"duration.seconds", "%1 秒"},
           {"duration.minutes", "%1 分钟"},
           {"duration.hours", "%1 小时"},
       }},
  };
  return tables;
}

}  // namespace dozewick
