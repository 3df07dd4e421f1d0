// The sheet as a whole: what every page shows without a settings file, the page it opens on,
// the ways it closes (each applies), and the About page's hyperlinks.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "SettingsTestSupport.h"
#include "TestUtil.h"
#include "settings/AboutPage.h"
#include "settings/SettingsIds.h"

using settingstest::Control;
using settingstest::Harness;

struct DefaultCase {
  int page;
  int id;
  const char* property;
  QVariant expected;
};

class SheetDefaultsTest : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(SheetDefaultsTest, ShowsTheDefaultWithoutASettingsFile) {
  Harness h;
  auto sheet = h.Open();
  QWidget* control = Control(sheet->Page(GetParam().page), GetParam().id);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->property(GetParam().property), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, SheetDefaultsTest,
    ::testing::Values(DefaultCase{kRvPagePlayback, kRvIdMemorySlider, "value", 80},
                      DefaultCase{kRvPagePlayback, kRvIdCriterionFirst, "checked", true},
                      DefaultCase{kRvPagePlayback, kRvIdPlayAfterOpening, "checked", false},
                      DefaultCase{kRvPageDirectDraw, kRvIdUseDirectDraw, "checked", false},
                      DefaultCase{kRvPageDirectDraw, kRvIdDisplayModes, "enabled", false},
                      DefaultCase{kRvPageDirectDraw, kRvIdTrueColorOnly, "checked", true},
                      DefaultCase{kRvPageDirectDraw, kRvIdTrueColorOnly, "enabled", false},
                      DefaultCase{kRvPageOutputOptions, kRvIdStartMediaPlayer, "checked", true},
                      DefaultCase{kRvPageCineon, kRvIdCineonReferenceWhite, "text", "1024"}));

TEST(SettingsSheetTest, BlackBackgroundReachesTheEngineWhenNothingIsStored) {
  Harness h;
  ASSERT_NE(h.engine->GetBackColor(), 0u);  // the engine's own start colour
  auto sheet = h.Open();
  EXPECT_EQ(h.engine->GetBackColor(), 0u);
  EXPECT_EQ(iReadFromIniFile(Harness::Ini(), "Playback", "BackColor", -1), 0);
}

class SheetPageTest : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(SheetPageTest, OpensOnTheGivenPageClampedToThePages) {
  Harness h;
  EXPECT_EQ(h.Open(GetParam().first)->GetActivePage(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Pages, SheetPageTest,
                         ::testing::Values(std::pair{0, 0}, std::pair{1, 1}, std::pair{5, 5},
                                           std::pair{6, 5}, std::pair{99, 5}, std::pair{-3, 0}));

// How the user ends the sheet; every way must keep what the pages hold.
enum class CloseBy { kCloseButton, kEscape, kCloseBox };

class SheetCloseTest : public ::testing::TestWithParam<CloseBy> {};

TEST_P(SheetCloseTest, ClosingAppliesThePages) {
  Harness h;
  auto sheet = h.Open(kRvPagePlayback);
  sheet->show();
  Control<QRadioButton>(sheet->Page(kRvPagePlayback), kRvIdCriterionFirst + 3)->click();
  Control<QAbstractButton>(sheet->Page(kRvPageOutputOptions), kRvIdStartMediaPlayer)->click();
  EXPECT_EQ(h.engine->GetChangedFramesCriterion(), 0u);  // applied only when the sheet closes
  switch (GetParam()) {
    case CloseBy::kCloseButton:
      Control<QPushButton>(sheet.get(), kRvIdClose)->click();
      break;
    case CloseBy::kEscape: {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(sheet.get(), &escape);
      break;
    }
    case CloseBy::kCloseBox:
      sheet->close();
      break;
  }
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_EQ(sheet->result(), QDialog::Accepted);
  EXPECT_EQ(h.engine->GetChangedFramesCriterion(), 3u);
  EXPECT_EQ(iReadFromIniFile(Harness::Ini(), "Playback", "ChangedFramesCriterion", -1), 3);
  EXPECT_FALSE(bReadFromIniFile(Harness::Ini(), "Output", "StartMediaPlayer", true));
  EXPECT_EQ(sheet->GetActivePage(), kRvPagePlayback);
}

INSTANTIATE_TEST_SUITE_P(Ways, SheetCloseTest,
                         ::testing::Values(CloseBy::kCloseButton, CloseBy::kEscape,
                                           CloseBy::kCloseBox));

TEST(SettingsSheetTest, AValueOutOfRangeKeepsTheSheetOpenOnItsPage) {
  Harness h;
  auto sheet = h.Open(kRvPageAbout);
  sheet->show();
  Control<QLineEdit>(sheet->Page(kRvPageCineon), kRvIdCineonSoftClip)->setText("51");
  sheet->accept();
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->GetActivePage(), kRvPageCineon);
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0], "Please enter an integer between 0 and 50.");
  EXPECT_EQ(iReadFromIniFile(Harness::Ini(), "Cineon", "SoftClip", -1), -1);
}

TEST(SettingsSheetTest, TheCloseButtonIsTheOnlyButtonAndSitsEightPixelsInside) {
  Harness h;
  auto sheet = h.Open();
  sheet->resize(520, 460);
  sheet->show();
  QApplication::processEvents();
  const QList<QPushButton*> buttons =
      sheet->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_EQ(buttons.size(), 1);
  EXPECT_EQ(buttons[0]->text(), "Close");
  EXPECT_EQ(sheet->width() - buttons[0]->geometry().right() - 1, 8);
}

// --- About ---------------------------------------------------------------------------------

class HyperlinkTextTest : public ::testing::TestWithParam<std::pair<int, const char*>> {};

TEST_P(HyperlinkTextTest, NamesTheReason) {
  EXPECT_EQ(RvHyperlinkErrorText(GetParam().first),
            std::string("Unable to open hyperlink:\n\n") + GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, HyperlinkTextTest,
    ::testing::Values(std::pair{0, "The operating system is out\nof memory or resources."},
                      std::pair{2, "The specified file was not found."},
                      std::pair{26, "A sharing violation occurred. "},
                      std::pair{31,
                                "There is no application associated\nwith the given filename "
                                "extension."},
                      std::pair{7, "Unknown Error (7) occurred."}));

struct OpenCase {
  bool desktopOpens;
  std::string browser;  // "<exe>" stands for a real program, "<file>" for a plain file
  std::optional<int> expected;
};

class HyperlinkOpenTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(HyperlinkOpenTest, FallsBackToTheBrowserCommand) {
  rvtest::TempDir dir;
  const std::string plain = dir.File("plain.txt");
  rvtest::WriteFile(plain, "not a program");
  std::string browser = GetParam().browser;
  if (browser == "<exe>") browser = "true %s";
  if (browser == "<file>") browser = plain;
  int desktopCalls = 0;
  const bool opens = GetParam().desktopOpens;
  const auto result = RvOpenHyperlink(
      QUrl("file:///tmp/x.html"),
      [&](const QUrl&) {
        ++desktopCalls;
        return opens;
      },
      QString::fromStdString(browser));
  EXPECT_EQ(result, GetParam().expected);
  EXPECT_EQ(desktopCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(Ways, HyperlinkOpenTest,
                         ::testing::Values(OpenCase{true, "", std::nullopt},
                                           OpenCase{false, "", 31},
                                           OpenCase{false, "/nonexistent/browser", 2},
                                           OpenCase{false, "<file>", 5},
                                           OpenCase{false, "<exe>", std::nullopt}));

TEST(SettingsSheetTest, AboutLinksShowTheFailureAndTheAddress) {
  Harness h;
  qunsetenv("BROWSER");
  auto sheet = h.Open();
  auto* link = Control<CRvHyperlink>(sheet->Page(kRvPageAbout), kRvIdAboutHelpLink);
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(link->toolTip().endsWith("doc/index.html"));
  emit link->Activated(link->Url());
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0], RvHyperlinkErrorText(31));
}
