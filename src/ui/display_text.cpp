#include "ui/display_text.h"

#include <QFile>
#include <QStringDecoder>

namespace banklore {

QString displayText(const std::string& text) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded =
      decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!decoder.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString nameText(const std::string& name) {
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

std::string nameBytes(const QString& name) {
  return name.toLatin1().toStdString();
}

std::string pathBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QString pathText(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace banklore
