// Text between Qt and the logic, which holds UTF-8 in std::string.
#pragma once

#include <QApplication>
#include <QFont>
#include <QLocale>
#include <QString>

#include <string>

inline QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

inline std::string utf8(const QString& s)
{
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

// The application's font at `pt` points.
inline QFont police(int pt, bool gras = false)
{
    QFont f = QApplication::font();
    f.setPointSize(pt);
    f.setBold(gras);
    return f;
}

// A number as the pictures write it: French decimals.
inline QString nombre(double v, int decimales) { return QLocale(QLocale::French).toString(v, 'f', decimales); }
