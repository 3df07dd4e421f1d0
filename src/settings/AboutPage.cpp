#include "settings/AboutPage.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <cstdio>

#include "settings/SettingsIds.h"
#include "support/NesCommon55.h"

#ifndef RV_PROJECT_VERSION
#error "RV_PROJECT_VERSION comes from the build"
#endif

namespace {

constexpr const char* kVersionEdition = " Basic Edition";
constexpr int kIconSize = 64;

struct ReasonEntry {
  int code;
  const char* reason;
};

constexpr ReasonEntry kReasons[] = {
    {0, "The operating system is out\nof memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied\naccess to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred. "},
    {27, "The filename association is\nincomplete or invalid."},
    {28, "The DDE transaction could not\nbe completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30,
     "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
     "processed."},
    {31, "There is no application associated\nwith the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
};

}  // namespace

std::string RvHyperlinkErrorText(int code) {
  std::string text = "Unable to open hyperlink:\n\n";
  for (const ReasonEntry& entry : kReasons) {
    if (entry.code == code) return text + entry.reason;
  }
  char unknown[64];
  std::snprintf(unknown, sizeof unknown, "Unknown Error (%d) occurred.", code);
  return text + unknown;
}

std::optional<int> RvOpenHyperlink(const QUrl& url, const std::function<bool(const QUrl&)>& openUrl,
                                   const QString& browserCommand) {
  if (openUrl && openUrl(url)) return std::nullopt;
  QStringList arguments = QProcess::splitCommand(browserCommand);
  if (arguments.isEmpty()) return 31;
  const QString address = url.toString(QUrl::FullyEncoded);
  bool placed = false;
  for (QString& argument : arguments) {
    if (argument.contains(QLatin1String("%s"))) {
      argument.replace(QLatin1String("%s"), address);
      placed = true;
    }
  }
  if (!placed) arguments << address;
  const QString program = arguments.takeFirst();
  const QString found = program.contains(QLatin1Char('/'))
                            ? (QFileInfo(program).isFile() ? program : QString())
                            : QStandardPaths::findExecutable(program);
  if (found.isEmpty()) return 2;
  if (!QFileInfo(found).isExecutable()) return 5;
  if (!QProcess::startDetached(found, arguments)) return 27;
  return std::nullopt;
}

CRvHyperlink::CRvHyperlink(const QString& text, const QUrl& url, QWidget* parent)
    : QLabel(parent), m_url(url) {
  setText(text);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
  setPalette(palette);
  setCursor(Qt::PointingHandCursor);
  setToolTip(url.toDisplayString(QUrl::PreferLocalFile));
  setFocusPolicy(Qt::TabFocus);
}

void CRvHyperlink::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit Activated(m_url);
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void CRvHyperlink::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      event->key() == Qt::Key_Space) {
    emit Activated(m_url);
    return;
  }
  QLabel::keyPressEvent(event);
}

CRvSetAbout::CRvSetAbout(const CRvSettingsContext& context, QWidget* parent)
    : CRvSettingsPage(parent), m_context(context) {
  auto* icon = RvWithId(new QLabel(this), kRvIdAboutIcon);
  if (!context.productIcon.isNull())
    icon->setPixmap(context.productIcon.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio,
                                               Qt::SmoothTransformation));
  icon->setFixedSize(kIconSize, kIconSize);

  auto* product = RvWithId(new QLabel(context.productName, this), kRvIdAboutProduct);
  QFont bold = product->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.25);
  product->setFont(bold);
  auto* version = RvWithId(
      new QLabel(QStringLiteral("v" RV_PROJECT_VERSION) + QLatin1String(kVersionEdition), this),
      kRvIdAboutVersion);
  version->setTextInteractionFlags(Qt::TextSelectableByMouse);

  const QUrl help = QUrl::fromLocalFile(QString::fromLocal8Bit(strAppPath() + "doc/index.html"));
  const QUrl folder = QUrl::fromLocalFile(QString::fromLocal8Bit(strSettingsPath()));
  auto* helpLink =
      RvWithId(new CRvHyperlink(QStringLiteral("Reelvane help"), help, this), kRvIdAboutHelpLink);
  auto* folderLink =
      RvWithId(new CRvHyperlink(QStringLiteral("Settings and log folder"), folder, this),
               kRvIdAboutFolderLink);
  for (CRvHyperlink* link : {helpLink, folderLink})
    connect(link, &CRvHyperlink::Activated, this, &CRvSetAbout::OpenLink);

  auto* credits = RvWithId(
      new QLabel(
          QStringLiteral("A flipbook player for numbered image sequences.\n\n"
                         "Frames are read with libjpeg-turbo, libpng, libtiff, giflib and zlib;\n"
                         "the user interface is built with Qt."),
          this),
      kRvIdAboutCredits);
  credits->setWordWrap(true);

  auto* heading = new QVBoxLayout;
  heading->setSpacing(2);
  heading->addWidget(product);
  heading->addWidget(version);
  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(heading, 1);

  auto* links = new QVBoxLayout;
  links->setSpacing(4);
  links->addWidget(helpLink, 0, Qt::AlignLeft);
  links->addWidget(folderLink, 0, Qt::AlignLeft);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(14);
  layout->addLayout(top);
  layout->addLayout(links);
  layout->addWidget(credits);
  layout->addStretch(1);
}

void CRvSetAbout::OpenLink(const QUrl& url) {
  const std::optional<int> failure =
      RvOpenHyperlink(url, m_context.openUrl, qEnvironmentVariable("BROWSER"));
  if (failure) m_context.showMessage(this, QString::fromStdString(RvHyperlinkErrorText(*failure)));
}
