#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

#include "ui/shell_open.h"

namespace kestrion {

void OpenAddress(const std::string& address) {
  // xdg-open gets the address byte for byte: QUrl would normalise the percent-encoding that
  // the statistics address is built with.
  const QString text = QString::fromStdString(address);
  if (QProcess::startDetached(QStringLiteral("xdg-open"), {text})) return;
  QDesktopServices::openUrl(QUrl::fromEncoded(text.toUtf8(), QUrl::TolerantMode));
}

}  // namespace kestrion
