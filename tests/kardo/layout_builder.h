#pragma once
// Building card layouts for the tests.
#include <kardo/callcard.h>

#include <cstring>
#include <string>

inline _kardodll_tagCHIP BlankLayout() {
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    return layout;
}

// Sets the rows of an entry from a text of up to 18 characters (the rest blank).
inline void SetRows(_kardodll_tagCHIP& layout, int entry, const std::string& rows) {
    std::memset(layout.entry[entry].rows, ' ', 18);
    std::memcpy(layout.entry[entry].rows, rows.data(), rows.size() < 18 ? rows.size() : 18);
}

inline void SetHead(_kardodll_tagCHIP& layout, int entry, const std::string& head) {
    std::memset(layout.entry[entry].head, ' ', 6);
    std::memcpy(layout.entry[entry].head, head.data(), head.size() < 6 ? head.size() : 6);
}

inline std::string ImageAt(const Callcard& card, std::size_t from, std::size_t to) {
    return std::string(card.image + from, to - from + 1);
}
