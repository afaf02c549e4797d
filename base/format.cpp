#include "base/format.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/plateforme.h"

Conventions Conventions::from_locale()
{
    Conventions c = english();
    separateurs_regionaux("", c.decimal, c.grouping);
    // Numbers are printed with '.' and converted here; a toolkit that set
    // the process locale must not change that.
    std::setlocale(LC_NUMERIC, "C");
    return c;
}

namespace {

std::string replace_point(std::string s, const Conventions& c)
{
    auto p = s.find('.');
    if (p != std::string::npos)
        s.replace(p, 1, c.decimal);
    return s;
}

// Shortest general form with at most `digits` significant digits, as the
// message formatting of the original platform writes floats ("G").
std::string general_double(const Conventions& c, double v, int digits)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v < 0 ? "-Infinity" : "Infinity";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, v);
    std::string s = buf;
    // "1E+07" is kept; strip nothing else: %G already drops trailing zeros.
    return replace_point(s, c);
}

std::string group_digits(const std::string& digits, const std::string& sep)
{
    std::string out;
    int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        out += digits[i];
        int left = n - 1 - i;
        if (left > 0 && left % 3 == 0)
            out += sep;
    }
    return out;
}

} // namespace

std::string format_general(const Conventions& c, const FmtArg& v)
{
    switch (v.kind()) {
    case FmtArg::Int:
        return std::to_string(v.as_int());
    case FmtArg::UInt:
        return std::to_string(v.as_uint());
    case FmtArg::Float:
        return general_double(c, v.as_double(), 7);
    case FmtArg::Double:
        return general_double(c, v.as_double(), 15);
    case FmtArg::Text:
        return v.as_text();
    }
    return {};
}

namespace {

// Rounds the decimal digits whole.frac half away from zero to `decimals`
// places and writes them grouped.
std::string write_rounded(const Conventions& c, bool negative, std::string whole, std::string frac, int decimals)
{
    frac.resize(static_cast<size_t>(decimals) + 1, '0');
    bool up = frac.back() >= '5';
    frac.pop_back();
    if (up) {
        std::string digits = whole + frac;
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i >= 0)
            ++digits[i];
        else
            digits.insert(digits.begin(), '1');
        whole = digits.substr(0, digits.size() - frac.size());
        frac = digits.substr(digits.size() - frac.size());
    }
    negative = negative && (whole + frac).find_first_not_of('0') != std::string::npos;
    std::string out = negative ? "-" : "";
    out += group_digits(whole, c.grouping);
    if (decimals > 0)
        out += c.decimal + frac;
    return out;
}

} // namespace

std::string format_number(const Conventions& c, double v, int decimals)
{
    if (std::isnan(v) || std::isinf(v))
        return format_general(c, FmtArg(v));
    // The exact decimal digits, rounded half away from zero as the composite
    // formats of the original platform round.
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals + 25, std::fabs(v));
    std::string s = buf;
    auto p = s.find('.');
    return write_rounded(c, v < 0, s.substr(0, p), s.substr(p + 1), decimals);
}

std::string format_number_float(const Conventions& c, float f, int decimals)
{
    double v = f;
    if (std::isnan(v) || std::isinf(v))
        return format_general(c, FmtArg(f));
    // A single-precision value counts with its 7 significant digits.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6e", std::fabs(v));
    std::string m = buf;
    auto e = m.find('e');
    int exponent = std::atoi(m.c_str() + e + 1);
    std::string digits = m.substr(0, 1) + m.substr(2, e - 2); // 7 digits
    std::string whole, frac;
    if (exponent >= 0) {
        if (static_cast<int>(digits.size()) <= exponent + 1)
            digits.append(static_cast<size_t>(exponent + 1) - digits.size() + 1, '0');
        whole = digits.substr(0, static_cast<size_t>(exponent) + 1);
        frac = digits.substr(static_cast<size_t>(exponent) + 1);
    } else {
        whole = "0";
        frac = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    return write_rounded(c, v < 0, whole, frac, decimals);
}

std::string format_padded(long long v, int width)
{
    unsigned long long mag =
        v < 0 ? static_cast<unsigned long long>(-(v + 1)) + 1ULL : static_cast<unsigned long long>(v);
    std::string digits = std::to_string(mag);
    while (static_cast<int>(digits.size()) < width)
        digits.insert(digits.begin(), '0');
    return v < 0 ? "-" + digits : digits;
}

namespace {

double numeric(const FmtArg& a)
{
    switch (a.kind()) {
    case FmtArg::Int:
        return static_cast<double>(a.as_int());
    case FmtArg::UInt:
        return static_cast<double>(a.as_uint());
    default:
        return a.as_double();
    }
}

std::string render(const Conventions& c, const FmtArg& a, const std::string& forme, bool& ok)
{
    ok = true;
    if (forme.empty() || forme == "G" || forme == "g")
        return format_general(c, a);
    char kind = forme[0];
    if (forme.size() > 3) { // at most two digits of precision or width
        ok = false;
        return {};
    }
    int n = 0;
    for (size_t i = 1; i < forme.size(); ++i) {
        if (forme[i] < '0' || forme[i] > '9') {
            ok = false;
            return {};
        }
        n = n * 10 + (forme[i] - '0');
    }
    if (a.kind() == FmtArg::Text) {
        ok = false;
        return {};
    }
    if (kind == 'N' || kind == 'n') {
        if (forme.size() == 1)
            n = 2;
        if ((a.kind() == FmtArg::Int || a.kind() == FmtArg::UInt) && n == 0) {
            // Integers are grouped exactly, without going through a double.
            bool neg = a.kind() == FmtArg::Int && a.as_int() < 0;
            unsigned long long mag = a.kind() == FmtArg::UInt ? a.as_uint()
                                     : neg ? static_cast<unsigned long long>(-(a.as_int() + 1)) + 1ULL
                                           : static_cast<unsigned long long>(a.as_int());
            return (neg ? "-" : "") + group_digits(std::to_string(mag), c.grouping);
        }
        if (a.kind() == FmtArg::Float)
            return format_number_float(c, static_cast<float>(a.as_double()), n);
        return format_number(c, numeric(a), n);
    }
    if (kind == 'D' || kind == 'd') {
        if (a.kind() == FmtArg::Int)
            return format_padded(a.as_int(), n);
        if (a.kind() == FmtArg::UInt) {
            std::string digits = std::to_string(a.as_uint());
            while (static_cast<int>(digits.size()) < n)
                digits.insert(digits.begin(), '0');
            return digits;
        }
        ok = false;
        return {};
    }
    ok = false;
    return {};
}

} // namespace

std::string compose(const Conventions& conv, const std::string& pattern, std::initializer_list<FmtArg> args)
{
    std::string out;
    out.reserve(pattern.size() + 16);
    const FmtArg* argv = args.begin();
    size_t argc = args.size();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char ch = pattern[i];
        if (ch == '{' && i + 1 < pattern.size() && pattern[i + 1] == '{') {
            out += '{';
            ++i;
            continue;
        }
        if (ch == '}' && i + 1 < pattern.size() && pattern[i + 1] == '}') {
            out += '}';
            ++i;
            continue;
        }
        if (ch != '{') {
            out += ch;
            continue;
        }
        size_t close = pattern.find('}', i);
        if (close == std::string::npos) {
            out += pattern.substr(i);
            break;
        }
        std::string field = pattern.substr(i + 1, close - i - 1);
        std::string index_text = field, forme;
        auto colon = field.find(':');
        if (colon != std::string::npos) {
            index_text = field.substr(0, colon);
            forme = field.substr(colon + 1);
        }
        bool ok = !index_text.empty() && index_text.size() < 6 &&
                  index_text.find_first_not_of("0123456789") == std::string::npos;
        size_t index = 0;
        for (char d : index_text)
            index = index * 10 + static_cast<size_t>(d - '0');
        std::string text;
        if (ok && index < argc)
            text = render(conv, argv[index], forme, ok);
        else
            ok = false;
        out += ok ? text : pattern.substr(i, close - i + 1);
        i = close;
    }
    return out;
}
