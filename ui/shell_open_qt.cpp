#include <QProcess>

#include "ui/shell_open.h"

namespace kestrion {

void OpenAddress(const std::string& address) {
  // xdg-open gets the address byte for byte: QUrl would normalise the percent-encoding that
  // the statistics address is built with. The statistics address carries the password, and
  // xdg-open and the browsers it tries say the address they could not open on their output,
  // which would end in the session's log: theirs goes nowhere. Where xdg-open is missing the
  // page is not opened; Qt's own way would print the address likewise.
  QProcess opener;
  opener.setProgram(QStringLiteral("xdg-open"));
  opener.setArguments({QString::fromStdString(address)});
  opener.setStandardInputFile(QProcess::nullDevice());
  opener.setStandardOutputFile(QProcess::nullDevice());
  opener.setStandardErrorFile(QProcess::nullDevice());
  opener.startDetached();
}

}  // namespace kestrion
