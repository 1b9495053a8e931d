#pragma once
// What the pieces of the main window share: the output list's items and the
// conversion of the program's texts.

#include <QString>
#include <string_view>

namespace membrix::main_window_parts {

inline QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

// The output list "Var to write" in the order the window shows it.
inline constexpr const char* kVarToWrite[] = {
    "mm",     "hh",   "ii",    "mmR",      "hhR",  "nn", "nA",   "lA",   "xD",   "yD",   "mCaT",
    "hCaT",   "mCaH", "hCaH",  "kCaH",     "nM",   "Ca", "nKCa", "mBst", "mNaP", "wAHP", "V",
    "Vexp",   "PSC",  "avPSC", "Vav ",     "INA",  "IK", "IKA",  "IKM",  "IH",   "IAHP", "Im",
    "Im-INa", "VatE", "yK",    "du_Reset", "wADP", "Vr", "uu",   "iiR",  "Iind", "lAHP"};

}  // namespace membrix::main_window_parts
