#include "progressbar/progress_bar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "tests/support/test_data.h"

namespace rariduze {
namespace {

using Log = std::vector<std::string>;

// Records every box instead of showing it.
class ScriptedUi : public UiServices {
 public:
  struct Box {
    std::string text;
    int style;
    std::string title;
  };
  std::vector<Box> boxes;
  void Yield() override {}

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string& title) override {
    boxes.push_back({text, style, title});
    return kAnswerOk;
  }
};

// Host, event handler and drawing layer in one, writing what happens into one log.
class Recorder : public ControlHost, public ProgressBarEvents, public ProgressBarView {
 public:
  Log log;
  bool clear_mostra_errore = false;

  void PropertyChanged(const std::string& name) override { log.push_back("notice " + name); }
  void Change() override { log.push_back("Change"); }
  void Minimo() override { log.push_back("Minimo"); }
  void Massimo() override { log.push_back("Massimo"); }
  void Errore(bool& mostra_errore) override {
    log.push_back(mostra_errore ? "Errore(True)" : "Errore(False)");
    if (clear_mostra_errore) mostra_errore = false;
  }
  void Redraw() override { log.push_back("Redraw"); }
  void PartChanged() override { log.push_back("Part"); }
  float SurfaceTextHeight(const std::string&) override { return 195; }
};

class ProgressBarTest : public ::testing::Test {
 protected:
  ProgressBarTest() : bar(ui, recorder) {
    bar.SetEvents(&recorder);
    bar.SetView(&recorder);
    bar.SetDecimalSeparator(".");
    bar.InitProperties();
  }

  // Puts the range in place as stored settings do, unchecked and without events.
  void Load(double min, double max, double value, std::int64_t decimali = 0) {
    PropertyStore store;
    store.Write("Min", min, std::monostate{});
    store.Write("Max", max, std::monostate{});
    store.Write("Value", value, std::monostate{});
    store.Write("Decimali", decimali, std::monostate{});
    bar.ReadProperties(store);
    recorder.log.clear();
  }

  Log Take() {
    Log log;
    log.swap(recorder.log);
    return log;
  }

  ScriptedUi ui;
  Recorder recorder;
  TeskShapeProgressBar bar;
};

TEST(TeskShapeProgressBarLifecycle, ConstructionShowsZeroAndANewInstanceDoesNotRedraw) {
  ScriptedUi ui;
  Recorder recorder;
  TeskShapeProgressBar bar(ui, recorder);
  // Everything is still zero: the percentage cannot be computed and counts as none.
  EXPECT_EQ(bar.Caption(), "0 %");
  EXPECT_EQ(bar.Avanzamento2().width, 0.0f);
  // Without a drawing layer the line height falls back to the stock one: the caption of the
  // main window's instance sits centred on it.
  bar.Resize(5550, 240);
  EXPECT_EQ(bar.Avanzamento3().top, (240 - 195) / 2.0f);

  bar.SetView(&recorder);
  recorder.log.clear();
  bar.InitProperties();
  EXPECT_EQ(recorder.log, Log{});
}

TEST_F(ProgressBarTest, RangeWritesPullTheValueIn) {
  bar.SetValue(100);
  Take();
  bar.SetMax(50);
  EXPECT_EQ(Take(), (Log{"notice Max", "Change", "Massimo", "Redraw"}));
  EXPECT_EQ(bar.Value(), 50.0);
  EXPECT_EQ(bar.Caption(), "100 %");

  Load(0, 100, 10);
  bar.SetMin(20);
  EXPECT_EQ(Take(), (Log{"notice Min", "Change", "Minimo", "Redraw"}));
  EXPECT_EQ(bar.Value(), 20.0);

  // A range of one point is allowed from either side.
  bar.SetMin(100);
  EXPECT_EQ(bar.Min(), 100.0);
  EXPECT_EQ(bar.Value(), 100.0);
  Load(0, 100, 30);
  bar.SetMax(0);
  EXPECT_EQ(bar.Max(), 0.0);
  EXPECT_EQ(bar.Value(), 0.0);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProgressBarTest, RejectedWritesShowTheBoxUnlessTheHandlerDeclines) {
  bar.SetValue(40);
  Take();
  bar.SetValue(150);
  EXPECT_EQ(Take(), (Log{"Errore(True)"}));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Errore nell'impostazione della proprietà Value");
  EXPECT_EQ(ui.boxes[0].title, "TeskProgressBar");
  EXPECT_EQ(ui.boxes[0].style, kStyleOkStop);
  EXPECT_EQ(bar.Value(), 40.0);
  EXPECT_EQ(bar.Caption(), "40 %");

  recorder.clear_mostra_errore = true;
  Load(60, 100, 70);
  bar.SetMax(50);
  bar.SetMin(101);
  bar.SetValue(std::nan(""));
  EXPECT_EQ(Take(), (Log{"Errore(True)", "Errore(True)", "Errore(True)"}));
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(bar.Min(), 60.0);
  EXPECT_EQ(bar.Max(), 100.0);
  EXPECT_EQ(bar.Value(), 70.0);

  // With no handler at all the box shows; each setter names its own property.
  recorder.clear_mostra_errore = false;
  bar.SetEvents(nullptr);
  bar.SetMax(50);
  bar.SetMin(101);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[1].text, "Errore nell'impostazione della proprietà Max");
  EXPECT_EQ(ui.boxes[2].text, "Errore nell'impostazione della proprietà Min");
  EXPECT_TRUE(Take().empty());
}

TEST_F(ProgressBarTest, ChangeComparesWithThePreviousValueRoundedToWhole) {
  Load(0, 100, 2.4);
  bar.SetValue(2);
  EXPECT_EQ(Take(), (Log{"notice Value", "Redraw"}));
  bar.SetValue(2.4);
  EXPECT_EQ(Take(), (Log{"notice Value", "Change", "Redraw"}));

  Load(0, 100, 2.5);  // halves go to the even neighbour
  bar.SetValue(2);
  EXPECT_EQ(Take(), (Log{"notice Value", "Redraw"}));
  Load(0, 100, 3.5);
  bar.SetValue(4);
  EXPECT_EQ(Take(), (Log{"notice Value", "Redraw"}));

  Load(0, 100, 100);
  bar.SetValue(100);
  EXPECT_EQ(Take(), (Log{"notice Value", "Massimo", "Redraw"}));
  Load(5, 5, 5);
  bar.SetValue(5);
  EXPECT_EQ(Take(), (Log{"notice Value", "Minimo", "Massimo", "Redraw"}));
}

TEST_F(ProgressBarTest, ValueWriteOverflowsWhenThePreviousValueIsPast32Bits) {
  Load(0, 4e9, 3e9);
  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetValue(1); }), kFailureOverflow);
  EXPECT_EQ(bar.Value(), 3e9);
  EXPECT_TRUE(Take().empty());

  Load(0, 4e9, 2147483647.4);
  bar.SetValue(1);
  EXPECT_EQ(bar.Value(), 1.0);
}

TEST_F(ProgressBarTest, DecimaliRoundsHalvesToEvenAndRaisesChangeAfterTheRedraw) {
  Load(0, 3, 1);
  bar.SetDecimali(2.5);
  EXPECT_EQ(bar.Decimali(), 2);
  EXPECT_EQ(Take(), (Log{"notice Decimali", "Redraw", "Change"}));
  EXPECT_EQ(bar.Caption(), "33.33 %");
  bar.SetDecimali(std::string("3.5"));
  EXPECT_EQ(bar.Decimali(), 4);

  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetDecimali(std::int64_t{40000}); }),
            kFailureOverflow);
  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetDecimali(std::string("due")); }),
            kFailureTypeMismatch);
  EXPECT_EQ(bar.Decimali(), 4);
  Take();

  bar.SetDecimali(std::int64_t{-3});
  EXPECT_EQ(bar.Caption(), "33 %");

  // Far more decimals than a double holds: the rest are zeros.
  bar.SetDecimali(std::int64_t{30000});
  EXPECT_EQ(bar.Caption().size(), 3u + 30000u + 2u);
  EXPECT_EQ(bar.Caption().substr(0, 8), "33.33333");
  EXPECT_EQ(bar.Caption().substr(bar.Caption().size() - 4), "00 %");
}

TEST_F(ProgressBarTest, LookWritesCheckBeforeAnythingChanges) {
  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetAlignment(70000); }), kFailureOverflow);
  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetAlignment(3); }), kFailureInvalidPropertyValue);
  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetBorderStyle(-1); }),
            kFailureInvalidPropertyValue);
  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetBorderStyle(7); }), kFailureInvalidPropertyValue);
  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetMousePointer(16); }),
            kFailureInvalidPropertyValue);
  EXPECT_EQ(testing::FailureNumberOf([&] { bar.SetMousePointer(-40000); }), kFailureOverflow);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(bar.Alignment(), kAlignCenter);
  EXPECT_EQ(bar.BorderStyle(), kBorderSolid);

  bar.SetBorderStyle(kBorderDashDot);
  bar.SetBorderColor(0x000000FF);
  bar.SetMousePointer(kPointerCustom);
  EXPECT_EQ(Take(), (Log{"notice BorderStyle", "Part", "notice BorderColor", "Part",
                         "notice MousePointer", "Part"}));
  EXPECT_EQ(bar.Avanzamento2().border_style, kBorderDashDot);
  EXPECT_EQ(bar.Avanzamento2().border_colour, 0x000000FFu);
  EXPECT_EQ(bar.MousePointer(), kPointerCustom);
}

struct Case {
  double min, max, value;
  std::int64_t decimali;
  const char* caption;
  double whole_percent;
};

TEST_F(ProgressBarTest, CaptionAndBarFollowThePercentage) {
  const Case cases[] = {
      {0, 3, 1, 2, "33.33 %", 33},
      {0, 1000, 999, 0, "99 %", 99},
      {0, 1, 0.996, 0, "99 %", 99},
      {0, 1, 0.996, 1, "99.6 %", 99},
      {5, 5, 5, 2, "0.00 %", 0},
      {5, 5, 1, 0, "0 %", 0},
      {0, 100, 100, 0, "100 %", 100},
      {0, 100, 100, 2, "100.00 %", 100},
      {0, 200, 1, 2, "0.50 %", 0},
      {0, 3, 1, -3, "33 %", 33},
      {10, 0, 10, 0, "0 %", 0},
      {0, 800, -1, 2, "-0.13 %", -1},
      {0, 100, 150, 0, "150 %", 150},
      {0, 1e308, 1e308, 0, "100 %", 100},
      {-1e308, 1e308, 0, 0, "0 %", 0},
      // Whole percentages of whole numbers are exact: 29 / 100 * 100 would be 28.999...
      {0, 100, 29, 0, "29 %", 29},
      {0, 100, 57, 2, "57.00 %", 57},
      {0, 300, 87, 0, "29 %", 29},
      {0, 100, 0.124999, 2, "0.12 %", 0},
  };
  bar.Resize(5550, 240);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    Load(c.min, c.max, c.value, c.decimali);
    EXPECT_EQ(bar.Caption(), c.caption);
    EXPECT_EQ(bar.Percentuale(0), c.whole_percent);
    EXPECT_EQ(bar.Avanzamento2().width, static_cast<float>(5549.0 * c.whole_percent / 100));
  }

  Load(0, 800, 1);  // 0.125 %: halves away from zero with decimals, down without
  EXPECT_EQ(bar.Percentuale(2), 0.13);
  EXPECT_EQ(bar.Percentuale(0), 0.0);
  Load(0, 100, 0.124999);  // rounded once: not to 0.125 first and then up
  EXPECT_EQ(bar.Percentuale(2), 0.12);
  EXPECT_EQ(bar.Percentuale(5), 0.125);
  Load(0, 800, -1);
  EXPECT_EQ(bar.Percentuale(2), -0.13);
  EXPECT_EQ(bar.Percentuale(-1), -1.0);

  bar.SetDecimalSeparator(",");
  Load(0, 3, 1, 2);
  EXPECT_EQ(bar.Caption(), "33,33 %");
  EXPECT_EQ(bar.Percentuale(2), 33.33);
}

TEST_F(ProgressBarTest, AnySizeGetsAFullBarOverTheBackgroundAndACentredCaption) {
  for (auto [width, height] : {std::pair{5550.0f, 240.0f}, {4005.0f, 195.0f}, {90.0f, 600.0f}}) {
    SCOPED_TRACE(width);
    bar.Resize(width, height);
    EXPECT_EQ(Take(), (Log{"Redraw"}));
    bar.SetValue(bar.Max());
    const RectanglePart& back = bar.Avanzamento1();
    const RectanglePart& full = bar.Avanzamento2();
    EXPECT_EQ(std::vector<float>({full.left, full.top, full.width, full.height}),
              std::vector<float>({back.left, back.top, back.width, back.height}));
    EXPECT_EQ(back.left, 0.0f);
    EXPECT_EQ(back.height, height);
    EXPECT_LT(back.width, width);
    // The text line (195 twips, as the recorder measures it) sits halfway down the control,
    // and its box stays inside the control's width.
    const CaptionPart& caption = bar.Avanzamento3();
    EXPECT_EQ(caption.top + 195 / 2.0f, height / 2);
    EXPECT_EQ(caption.left, 0.0f);
    EXPECT_LE(caption.left + caption.width, back.width);
    bar.SetValue(bar.Min());
    Take();
  }
}

TEST_F(ProgressBarTest, MainWindowSettingsLoadWithLowerCaseKeysAndSaveBack) {
  PropertyStore stored;
  stored.Write("backcolor", std::int64_t{0x00EEE3E7}, std::monostate{});
  stored.Write("caption", std::string("0 %"), std::monostate{});
  stored.Write("font", std::string("MS Sans Serif,8.25,bold"), std::monostate{});
  bar.SetAmbientFont({"DejaVu Sans", 9});
  Take();

  bar.ReadProperties(stored);
  EXPECT_EQ(Take(), (Log{"notice Font", "Part", "notice MouseIcon", "Part", "Redraw"}));
  EXPECT_EQ(bar.BackColor(), 0x00EEE3E7u);
  EXPECT_EQ(bar.Font(), (FontDescription{"MS Sans Serif", 8.25, true}));
  EXPECT_EQ(bar.Caption(), "0 %");
  EXPECT_EQ(bar.Max(), 100.0);
  EXPECT_EQ(bar.Alignment(), kAlignCenter);
  EXPECT_EQ(bar.BorderColor(), kSystemWindowText);
  EXPECT_EQ(bar.Avanzamento2().border_style, kBorderSolid);
  EXPECT_EQ(bar.ForeColor(), kSystemHighlight);
  EXPECT_EQ(bar.TextColor(), kSystemHighlightText);

  PropertyStore saved;
  bar.WriteProperties(saved);
  EXPECT_EQ(saved.size(), 3u);
  EXPECT_EQ(ToInt32(saved.Read("backcolor", std::monostate{})), 0x00EEE3E7);
  EXPECT_EQ(ToText(saved.Read("caption", std::monostate{})), "0 %");
  EXPECT_EQ(ToText(saved.Read("font", std::monostate{})), "MS Sans Serif,8.25,bold");
}

TEST_F(ProgressBarTest, EverySettingSurvivesASaveAndLoad) {
  bar.SetAlignment(kAlignRight);
  bar.SetBackColor(0x00112233);
  bar.SetBorderColor(0x80000010);
  bar.SetBorderStyle(kBorderDot);
  bar.SetFont({"Foo, Bar", 10.5, false, true, true, true});
  bar.SetForeColor(0x00445566);
  bar.SetMouseIcon(std::string("\x89PNG\0\x01", 6));
  bar.SetMousePointer(kPointerCustom);
  bar.SetTextColor(0);
  bar.SetMax(1000);
  bar.SetMin(-5);
  bar.SetValue(250.5);
  bar.SetDecimali(std::int64_t{1});
  PropertyStore store;
  bar.WriteProperties(store);

  Recorder other_host;
  TeskShapeProgressBar copy(ui, other_host);
  copy.SetDecimalSeparator(".");
  copy.ReadProperties(store);
  EXPECT_EQ(copy.Alignment(), kAlignRight);
  EXPECT_EQ(copy.BackColor(), 0x00112233u);
  EXPECT_EQ(copy.Avanzamento2().border_colour, 0x80000010u);
  EXPECT_EQ(copy.Avanzamento2().border_style, kBorderDot);
  EXPECT_EQ(copy.Font(), bar.Font());
  EXPECT_EQ(copy.ForeColor(), 0x00445566u);
  EXPECT_EQ(copy.MouseIcon(), bar.MouseIcon());
  EXPECT_EQ(copy.MousePointer(), kPointerCustom);
  EXPECT_EQ(copy.TextColor(), 0u);
  EXPECT_EQ(copy.Min(), -5.0);
  EXPECT_EQ(copy.Max(), 1000.0);
  EXPECT_EQ(copy.Value(), 250.5);
  EXPECT_EQ(copy.Decimali(), 1);
  EXPECT_EQ(copy.Caption(), "25.4 %");

  // A store written with signed colours reads the same.
  store.Write("BackColor", std::int64_t{-2147483643}, std::monostate{});
  copy.ReadProperties(store);
  EXPECT_EQ(copy.BackColor(), kSystemWindow);
}

TEST_F(ProgressBarTest, BrokenStoredSettingsFailClearly) {
  const std::vector<std::pair<std::string, PropertyValue>> broken = {
      {"alignment", std::int64_t{3}},
      {"borderstyle", std::int64_t{7}},
      {"mousepointer", std::int64_t{16}},
      {"decimali", 1e6},
      {"min", std::string("abc")},
      {"font", std::string("bold")},
      {"font", std::string(" ,8")},
      {"font", std::string("Arial,-2")},
      {"backcolor", 5e9},
      {"mouseicon", std::int64_t{1}},
  };
  const int expected[] = {380, 380, 380, 6, 13, 13, 13, 13, 6, 13};
  for (std::size_t i = 0; i < broken.size(); ++i) {
    SCOPED_TRACE(broken[i].first);
    PropertyStore store;
    store.Write(broken[i].first, broken[i].second, std::monostate{});
    EXPECT_EQ(testing::FailureNumberOf([&] { bar.ReadProperties(store); }), expected[i]);
  }
  EXPECT_EQ(ParseFontText("Foo, Bar ,10,ITALIC"), (FontDescription{"Foo, Bar", 10, false, true}));
}

}  // namespace
}  // namespace rariduze
