#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <ostream>
#include <string>

// Readable failures for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace kestrion::test {

// A stand-in for xdg-open, first on PATH while it lives, that writes down the address it was
// given, so a test sees exactly what the user's browser or mail program would get.
class FakeXdgOpen {
 public:
  FakeXdgOpen() : old_path_(qgetenv("PATH")) {
    const QString bin = dir_.filePath("bin");
    QDir().mkpath(bin);
    QFile script(bin + "/xdg-open");
    if (script.open(QIODevice::WriteOnly)) {
      // Written whole, then named: the shell makes a file before printf fills it, and a
      // reader that sees it then would read nothing.
      script.write(
          QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1.part' && mv '%1.part' '%1'\n")
              .arg(Opened())
              .toUtf8());
      script.close();
      script.setPermissions(script.permissions() | QFile::ExeOwner);
    }
    qputenv("PATH", bin.toUtf8() + ":" + old_path_);
  }
  ~FakeXdgOpen() { qputenv("PATH", old_path_); }

  // What was opened, waiting a little for the detached process; "" when nothing was.
  std::string Address() const {
    QFile result(Opened());
    for (int i = 0; i < 500 && !result.exists(); ++i) QThread::msleep(20);
    if (!result.open(QIODevice::ReadOnly)) return {};
    return result.readAll().toStdString();
  }

 private:
  QString Opened() const { return dir_.filePath("opened"); }
  QTemporaryDir dir_;
  QByteArray old_path_;
};

}  // namespace kestrion::test
