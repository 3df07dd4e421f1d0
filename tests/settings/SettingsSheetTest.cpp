// The sheet as a whole: what every page shows without a settings file, the page it opens on,
// the ways it closes (each applies), and the About page's hyperlinks.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "SettingsTestSupport.h"
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
                      DefaultCase{kRvPageDirectDraw, kRvIdTrueColorOnly, "checked", true},
                      DefaultCase{kRvPageDirectDraw, kRvIdTrueColorOnly, "enabled", false},
                      DefaultCase{kRvPageOutputOptions, kRvIdStartMediaPlayer, "checked", true},
                      DefaultCase{kRvPageCineon, kRvIdCineonReferenceWhite, "text", "1024"}));

// How the user ends the sheet; every way must keep what the pages hold.
enum class CloseBy { kCloseButton, kEscape, kCloseBox };

class SheetCloseTest : public ::testing::TestWithParam<CloseBy> {};

TEST_P(SheetCloseTest, ClosingAppliesThePages) {
  Harness h;
  auto sheet = h.Open(kRvPagePlayback);
  sheet->show();
  QApplication::processEvents();
  auto* close = Control<QPushButton>(sheet.get(), kRvIdClose);
  EXPECT_EQ(sheet->width() - close->geometry().right() - 1, 8);  // the only button
  EXPECT_EQ(sheet->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
  Control<QRadioButton>(sheet->Page(kRvPagePlayback), kRvIdCriterionFirst + 3)->click();
  Control<QAbstractButton>(sheet->Page(kRvPageOutputOptions), kRvIdStartMediaPlayer)->click();
  EXPECT_EQ(h.engine->GetChangedFramesCriterion(), 0u);  // applied only when the sheet closes
  if (GetParam() == CloseBy::kCloseButton) close->click();
  if (GetParam() == CloseBy::kCloseBox) sheet->close();
  if (GetParam() == CloseBy::kEscape) apptest::Press(sheet.get(), Qt::Key_Escape);
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

// --- About ---------------------------------------------------------------------------------

class HyperlinkTextTest : public ::testing::TestWithParam<std::pair<int, const char*>> {};

TEST_P(HyperlinkTextTest, NamesTheReason) {
  EXPECT_EQ(RvHyperlinkErrorText(GetParam().first),
            std::string("Unable to open hyperlink:\n\n") + GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, HyperlinkTextTest,
    ::testing::Values(std::pair{0, "The operating system is out\nof memory or resources."},
                      std::pair{31,
                                "There is no application associated\nwith the given filename "
                                "extension."},
                      std::pair{7, "Unknown Error (7) occurred."}));

// Desktop handler fails; the BROWSER command decides.
class HyperlinkOpenTest
    : public ::testing::TestWithParam<std::pair<const char*, std::optional<int>>> {};

TEST_P(HyperlinkOpenTest, FallsBackToTheBrowserCommand) {
  const auto fails = [](const QUrl&) { return false; };
  EXPECT_EQ(RvOpenHyperlink(QUrl("file:///x.html"), fails, GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Commands, HyperlinkOpenTest,
                         ::testing::Values(std::pair{"", std::optional<int>(31)},
                                           std::pair{"/nonexistent/browser", std::optional<int>(2)},
                                           std::pair{"/etc/passwd %s", std::optional<int>(5)},
                                           std::pair{"true %s", std::optional<int>()}));

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
