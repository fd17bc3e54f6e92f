// Text between the phone's UTF-8 strings and Qt's.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace corvina::ui {

inline QString ToQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace corvina::ui
