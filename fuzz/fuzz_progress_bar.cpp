// The progress bar loaded from an arbitrary property store, then driven by arbitrary setter
// calls: every failure must be a RuntimeFailure, and the caption must stay a percentage.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/failure.h"
#include "platform/ui_services.h"
#include "progressbar/progress_bar.h"

namespace {

const char* const kKeys[] = {"Alignment", "BackColor", "BorderColor", "BorderStyle",  "Caption",
                             "Font",      "ForeColor", "MouseIcon",   "MousePointer", "Min",
                             "Max",       "Value",     "TextColor",   "Decimali",     "caption"};

rariduze::PropertyValue AnyValue(FuzzedDataProvider& data) {
  switch (data.ConsumeIntegralInRange(0, 4)) {
    case 0:
      return std::monostate{};
    case 1:
      return data.ConsumeBool();
    case 2:
      return data.ConsumeIntegral<std::int64_t>();
    case 3:
      return data.ConsumeFloatingPoint<double>();
    default:
      return data.ConsumeRandomLengthString(64);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace rariduze;
  FuzzedDataProvider data(bytes, size);
  HeadlessUiServices ui;
  NullControlHost host;
  TeskShapeProgressBar bar(ui, host);
  bar.SetDecimalSeparator(",");

  PropertyStore store;
  const int stored = data.ConsumeIntegralInRange(0, 16);
  for (int i = 0; i < stored; ++i) {
    store.Write(data.PickValueInArray(kKeys), AnyValue(data), std::monostate{});
  }
  try {
    bar.ReadProperties(store);
  } catch (const RuntimeFailure&) {
  }

  for (int step = 0; step < 32 && data.remaining_bytes() > 0; ++step) {
    try {
      switch (data.ConsumeIntegralInRange(0, 9)) {
        case 0:
          bar.SetMin(data.ConsumeFloatingPoint<double>());
          break;
        case 1:
          bar.SetMax(data.ConsumeFloatingPoint<double>());
          break;
        case 2:
          bar.SetValue(data.ConsumeFloatingPoint<double>());
          break;
        case 3:
          bar.SetDecimali(AnyValue(data));
          break;
        case 4:
          bar.SetAlignment(data.ConsumeIntegral<std::int32_t>());
          break;
        case 5:
          bar.SetBorderStyle(data.ConsumeIntegral<std::int32_t>());
          break;
        case 6:
          bar.SetMousePointer(data.ConsumeIntegral<std::int32_t>());
          break;
        case 7:
          bar.Resize(data.ConsumeFloatingPoint<float>(), data.ConsumeFloatingPoint<float>());
          break;
        case 8:
          bar.SetBackColor(data.ConsumeIntegral<std::uint32_t>());
          break;
        default: {
          PropertyStore saved;
          bar.WriteProperties(saved);
          bar.ReadProperties(saved);
        }
      }
    } catch (const RuntimeFailure&) {
    }
    const double percent = bar.Percentuale(bar.Decimali());
    if (std::isnan(percent)) __builtin_trap();
  }
  return 0;
}
