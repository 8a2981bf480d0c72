// Dozewick's script inside KWin: it reports the windows, minimizes and restores those it is named.
// It reports whenever the windows change. Dozewick puts `dozewickService` (its unique bus name)
// and `dozewickPlugin` (the name it loads this script under) ahead of this text. Works with the
// API of Plasma 5.27 (clients) and of Plasma 6 (windows).

var dozewickPath = "/org/dozewick/KWin";
var dozewickInterface = "org.dozewick.KWinBridge";
var plasma6 = typeof workspace.windowList === "function";

function allWindows() {
  return plasma6 ? workspace.windowList() : workspace.clientList();
}

function activeWindow() {
  return plasma6 ? workspace.activeWindow : workspace.activeClient;
}

function idOf(w) {
  return String(w.internalId);
}

function kindOf(w) {
  var kinds = ["normalWindow", "dialog", "desktopWindow", "dock", "toolbar", "menu", "utility",
               "splash", "dropdownMenu", "popupMenu", "comboBox", "tooltip", "notification",
               "dndIcon", "onScreenDisplay", "criticalNotification", "popupWindow"];
  for (var i = 0; i < kinds.length; ++i) {
    if (w[kinds[i]]) {
      return kinds[i];
    }
  }
  return "other";
}

function onCurrentDesktop(w) {
  if (w.onAllDesktops) {
    return true;
  }
  if (plasma6) {
    var desktops = w.desktops || [];
    for (var i = 0; i < desktops.length; ++i) {
      if (desktops[i] === workspace.currentDesktop) {
        return true;
      }
    }
    return desktops.length === 0;
  }
  return w.desktop === workspace.currentDesktop || w.desktop === -1;
}

function describe(w) {
  return {
    id: idOf(w),
    pid: w.pid,
    // An X11 program that names no process of its own: Dozewick asks the X server whose it is.
    xid: w.pid > 0 ? 0 : w.windowId || 0,
    app: String(w.resourceClass),
    title: String(w.caption),
    minimized: !!w.minimized,
    kind: kindOf(w),
    current: onCurrentDesktop(w),
    skipTaskbar: !!w.skipTaskbar,
  };
}

// Changes come in bursts (a window opening sets many properties): one report per burst.
var reportTimer = new QTimer();
reportTimer.singleShot = true;
reportTimer.interval = 50;
reportTimer.timeout.connect(function () {
  var active = activeWindow();
  var list = allWindows();
  var windows = [];
  for (var i = 0; i < list.length; ++i) {
    if (list[i].managed !== false && !list[i].deleted) {
      windows.push(describe(list[i]));
    }
  }
  callDBus(dozewickService, dozewickPath, dozewickInterface, "Report",
           JSON.stringify({active: active ? idOf(active) : "", windows: windows}));
});

function changed() {
  if (!reportTimer.active) {
    reportTimer.start();
  }
}

function watch(w) {
  var signals = ["captionChanged", "minimizedChanged", "desktopChanged", "desktopsChanged",
                 "skipTaskbarChanged", "windowClassChanged"];
  for (var i = 0; i < signals.length; ++i) {
    if (w[signals[i]] && w[signals[i]].connect) {
      w[signals[i]].connect(changed);
    }
  }
}

function minimizable(w) {
  return (w.normalWindow || w.dialog) && !w.minimized && onCurrentDesktop(w);
}

// Dozewick names the windows to restore, the one to end on top first; each is raised in turn.
function restore(ids) {
  var byId = {};
  var list = allWindows();
  for (var i = 0; i < list.length; ++i)
    byId[idOf(list[i])] = list[i];
  var done = 0;
  for (var j = ids.length - 1; j >= 0; --j) {
    var w = byId[String(ids[j])];
    if (w && (w.normalWindow || w.dialog) && w.minimized) {
      w.minimized = false;
      if (plasma6)
        workspace.activeWindow = w;
      else
        workspace.activeClient = w;
      ++done;
    }
  }
  return done;
}

// Dozewick names the windows to minimize; one that changed meanwhile is left alone.
function perform(command) {
  if (command.op === "restore" && command.ids)
    return restore(command.ids);
  var ids = command.op === "minimize" && command.ids ? command.ids : [];
  var list = allWindows();
  var done = 0;
  for (var i = 0; i < list.length; ++i) {
    var w = list[i];
    if (ids.indexOf(idOf(w)) >= 0 && minimizable(w)) {
      w.minimized = true;
      ++done;
    }
  }
  return done;
}

// Dozewick answers a poll when it has work, or after a few seconds with none; every answer
// brings the next poll, which also tells Dozewick this script is alive.
var lastPoll = 0;
var lastAnswer = Date.now();
function poll() {
  lastPoll = Date.now();
  callDBus(dozewickService, dozewickPath, dozewickInterface, "Poll", function (text) {
    lastAnswer = Date.now();
    var commands = [];
    try {
      commands = JSON.parse(text);
    } catch (e) {
      commands = [];
    }
    for (var i = 0; i < commands.length; ++i) {
      perform(commands[i]);
    }
    poll();
  });
}

// A poll lost on the bus (an error reply never reaches the callback) would end the exchange.
var pollWatchdog = new QTimer();
pollWatchdog.interval = 30000;
pollWatchdog.timeout.connect(function () {
  // Dozewick answers every few seconds while it runs; after a minute of silence it has gone
  // without unloading this script (killed, crashed), and the script takes itself away.
  if (Date.now() - lastAnswer > 60000) {
    callDBus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript", dozewickPlugin);
  } else if (Date.now() - lastPoll > 30000) {
    poll();
  }
});
pollWatchdog.start();

var added = plasma6 ? workspace.windowAdded : workspace.clientAdded;
var removed = plasma6 ? workspace.windowRemoved : workspace.clientRemoved;
var activated = plasma6 ? workspace.windowActivated : workspace.clientActivated;
added.connect(function (w) {
  watch(w);
  changed();
});
removed.connect(changed);
activated.connect(changed);
workspace.currentDesktopChanged.connect(changed);
var existing = allWindows();
for (var k = 0; k < existing.length; ++k) {
  watch(existing[k]);
}
changed();
poll();
