#include "util/form_status.h"

#include <gtest/gtest.h>

#include "util/temp_folder.h"

namespace vellumark {
namespace {

constexpr int kScreenW = 1920;
constexpr int kScreenH = 1080;
const FormPlacement kSearchBar{100, 200, 380, 110, kWindowNormal};

TEST(FormStatus, OffScreenTopIsKeptAndAFixedBorderIgnoresSizeAndState) {
  FormStatusResult r = ApplyFormStatus("5000,10,400,300,2", kSearchBar, kScreenW, kScreenH, false);
  EXPECT_EQ(r.placement, (FormPlacement{100, 10, 380, 110, kWindowNormal}));
  EXPECT_TRUE(r.all_items_valid);
  r = ApplyFormStatus("5000,10,400,300,2", kSearchBar, kScreenW, kScreenH, true);
  EXPECT_EQ(r.placement, (FormPlacement{100, 10, 400, 300, kWindowMaximized}));
}

TEST(FormStatus, AcceptanceLimits) {
  auto top = [](const char* v) {
    return ApplyFormStatus(v, kSearchBar, kScreenW, kScreenH, true).placement.top;
  };
  EXPECT_EQ(top("-9"), -9);
  EXPECT_EQ(top("-10"), 100);
  EXPECT_EQ(top("1059"), 1059);
  EXPECT_EQ(top("1060"), 100);

  auto left = [](const char* v) {
    return ApplyFormStatus(v, kSearchBar, kScreenW, kScreenH, true).placement.left;
  };
  EXPECT_EQ(left("0,-359"), -359);  // -359 + 380 = 21 > 20
  EXPECT_EQ(left("0,-360"), 200);
  EXPECT_EQ(left("0,1899"), 1899);
  EXPECT_EQ(left("0,1900"), 200);

  // Left is tested against the width the window has before the value's own width applies.
  FormStatusResult r = ApplyFormStatus("0,-500,1000,400", kSearchBar, kScreenW, kScreenH, true);
  EXPECT_EQ(r.placement.left, 200);
  EXPECT_EQ(r.placement.width, 1000);

  r = ApplyFormStatus("0,0,20,21,1", kSearchBar, kScreenW, kScreenH, true);
  EXPECT_EQ(r.placement, (FormPlacement{0, 0, 380, 21, kWindowNormal}));  // minimised refused
}

TEST(FormStatus, MissingAndBadItemsAreSkipped) {
  FormStatusResult r = ApplyFormStatus("", kSearchBar, kScreenW, kScreenH, true);
  EXPECT_EQ(r.placement, kSearchBar);
  EXPECT_TRUE(r.all_items_valid);
  r = ApplyFormStatus("50", kSearchBar, kScreenW, kScreenH, true);
  EXPECT_EQ(r.placement, (FormPlacement{50, 200, 380, 110, kWindowNormal}));
  r = ApplyFormStatus("x,30,,500", kSearchBar, kScreenW, kScreenH, true);
  EXPECT_EQ(r.placement, (FormPlacement{100, 30, 380, 500, kWindowNormal}));
  EXPECT_FALSE(r.all_items_valid);
  r = ApplyFormStatus("99999999999,1", kSearchBar, kScreenW, kScreenH, true);
  EXPECT_EQ(r.placement.top, 100);
  EXPECT_EQ(r.placement.left, 1);
  EXPECT_FALSE(r.all_items_valid);
}

TEST(FormStatus, SaveWritesTheFiveNumbersAndLoadReadsThemBack) {
  testing::TempFolder dir;
  TPIniFile ini(dir.path() + "vellumark.ini");
  EXPECT_EQ(FormStatusValue({-5, 12, 640, 480, kWindowMaximized}), "-5,12,640,480,2");
  SaveFormStatus(ini, "IndexForm", {-5, 12, 640, 480, kWindowMaximized});
  EXPECT_EQ(ini.ReadString("FormStatus", "IndexForm", ""), "-5,12,640,480,2");
  FormStatusResult r = LoadFormStatus(ini, "indexform", kSearchBar, kScreenW, kScreenH, true);
  EXPECT_EQ(r.placement, (FormPlacement{-5, 12, 640, 480, kWindowMaximized}));
  r = LoadFormStatus(ini, "MainForm", kSearchBar, kScreenW, kScreenH, false);
  EXPECT_EQ(r.placement, kSearchBar);
}

// A desktop whose available area starts below a 30-pixel panel, and the bar's area near its top.
TEST(FormStatus, WindowsAreKeptInsideTheAreaAndOffTheBar) {
  const ScreenRect area{0, 30, 1024, 738};
  const ScreenRect bar{119, 30, 380, 100};
  struct Case {
    const char* what;
    FormPlacement got, want;
  };
  // Placements are top, left, width, height.
  const Case cases[] = {
      {"inside stays", FitInside({50, 40, 300, 200}, area, false), {50, 40, 300, 200}},
      {"off right and bottom", FitInside({700, 900, 300, 200}, area, false), {568, 724, 300, 200}},
      {"off left and above", FitInside({-10, -400, 300, 200}, area, false), {30, 0, 300, 200}},
      {"fixed and too large", FitInside({50, 50, 1200, 900}, area, false), {30, 0, 1200, 900}},
      {"sizeable and too large", FitInside({50, 50, 1200, 900}, area, true), {30, 0, 1024, 738}},
      {"below the bar", PlaceBelowBar({0, 0, 574, 386}, bar, area, false), {136, 119, 574, 386}},
      {"shortened below the bar",
       PlaceBelowBar({0, 0, 900, 700}, bar, area, true),
       {136, 119, 900, 632}},
      {"fixed, up as far as needed",
       PlaceBelowBar({0, 0, 574, 700}, bar, area, false),
       {68, 119, 574, 700}},
      {"centred over the bar", AvoidBar({100, 100, 420, 190}, bar, area), {136, 100, 420, 190}},
      {"centred clear of the bar", AvoidBar({300, 300, 420, 190}, bar, area), {300, 300, 420, 190}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

}  // namespace
}  // namespace vellumark
