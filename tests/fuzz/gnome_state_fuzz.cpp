// Fuzzing the reading of the windows the GNOME extension announces, from the values D-Bus hands
// over: any number, any text (D-Bus keeps strings valid UTF-8), any flags.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "fuzz/fuzz.h"
#include "platform/gnome/gnome_state.h"

using dozewick::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto text = [&input] {
    return QString::fromStdString(input.ConsumeRandomLengthString(1 << 16));
  };
  dozewick::gnome::AnnouncedWindow w{input.ConsumeIntegral<qulonglong>(),
                                     input.ConsumeIntegral<std::int32_t>(), text(), text(), text()};
  w.minimized = input.ConsumeBool();
  w.ordinary = input.ConsumeBool();
  w.onCurrentWorkspace = input.ConsumeBool();
  w.skipsTaskbar = input.ConsumeBool();
  const auto window = dozewick::gnome::windowOf(w);
  require(window.has_value() == (w.id != 0 && w.pid > 0), "a window has an id and a process");
  if (window) {
    require(window->title->size() <= 3 << 14 && window->application->size() <= 3 << 14,
            "texts are cut at 16 Ki characters");
    const bool unnamed = (w.appId.isEmpty() || w.appId == ".desktop") && w.wmClass.isEmpty();
    require(window->application->empty() == unnamed,
            "an application is named when the window names one");
  }
  return 0;
}
