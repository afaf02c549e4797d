// Text between Qt and the logic, which holds UTF-8 in std::string.
#pragma once

#include <QString>

#include <string>

inline QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

inline std::string utf8(const QString& s)
{
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}
