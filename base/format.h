// Composite formatting of the program's messages: "{0:G}", "{0:N0}",
// "{1:N1}", "{0:D3}", "{0}". The regional conventions (decimal and grouping
// separators) are data, so that French and English renderings can be pinned.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

struct Conventions {
    std::string decimal = ".";
    std::string grouping = ","; // between groups of three digits

    static Conventions english() { return {".", ","}; }
    // French: decimal comma and a no-break space between groups, so that a
    // grouped number stays one token in the configuration file.
    static Conventions french() { return {",", "\xC2\xA0"}; }
    // The conventions of the machine's locale (LC_NUMERIC).
    static Conventions from_locale();
};

// One argument of a composite format.
class FmtArg {
public:
    enum Kind { Int, UInt, Float, Double, Text };
    FmtArg(int v) : kind_(Int), i_(v) {}
    FmtArg(long v) : kind_(Int), i_(v) {}
    FmtArg(long long v) : kind_(Int), i_(v) {}
    FmtArg(unsigned v) : kind_(UInt), u_(v) {}
    FmtArg(unsigned long v) : kind_(UInt), u_(v) {}
    FmtArg(unsigned long long v) : kind_(UInt), u_(v) {}
    FmtArg(float v) : kind_(Float), d_(v) {}
    FmtArg(double v) : kind_(Double), d_(v) {}
    FmtArg(const char* v) : kind_(Text), s_(v) {}
    FmtArg(const std::string& v) : kind_(Text), s_(v) {}

    Kind kind() const { return kind_; }
    long long as_int() const { return i_; }
    unsigned long long as_uint() const { return u_; }
    double as_double() const { return d_; }
    const std::string& as_text() const { return s_; }

private:
    Kind kind_;
    long long i_ = 0;
    unsigned long long u_ = 0;
    double d_ = 0;
    std::string s_;
};

// Fills the placeholders of `pattern` with `args`. Unknown or malformed
// placeholders are left as they stand.
std::string compose(const Conventions& conv, const std::string& pattern, std::initializer_list<FmtArg> args);

// Single fields, as the placeholders render them.
std::string format_general(const Conventions& c, const FmtArg& v);            // {0} and {0:G}
std::string format_number(const Conventions& c, double v, int decimals);      // {0:N1}
std::string format_number_float(const Conventions& c, float v, int decimals); // {0:N1} of a float
std::string format_padded(long long v, int width);                            // {0:D3}
