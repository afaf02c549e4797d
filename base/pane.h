// The information pane: the program's only log. Text is appended verbatim;
// callers put their own line ends.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

struct Pane {
    static constexpr std::size_t LIMITE = 60000; // characters

    std::string text; // UTF-8
    // Called with each appended piece (the headless runner prints it).
    std::function<void(const std::string&)> on_append;

    // Appends `s`; past the limit the oldest text is dropped (down to nine
    // tenths of it, starting on a whole line when one is near).
    void append(const std::string& s);
    std::size_t characters() const;

private:
    // Characters of `text` when it was `counted_bytes_` long; recounted
    // when the text was changed from outside.
    mutable std::size_t chars_ = 0;
    mutable std::size_t counted_bytes_ = 0;
};
