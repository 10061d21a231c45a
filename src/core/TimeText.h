#pragma once
#include <QString>

// Protocol form of a time in milliseconds: HH:mm.ss,cc with leading zeros and
// separators dropped up to the first significant digit, never more than seven
// characters (so "0,00" at least). Hours wrap at 100.
QString TimeToText(int32_t ms);

// Drops leading zeros and separators of a full 11-character time text.
QString TrimTimeText(const QString& full);

// Order of time texts in the protocol: by length, then by characters; "-"
// after every time and blank cells last; "DNF" and "DNS" (in that order) after
// the times, before "-". Negative, zero or positive.
int CompareTimeTexts(const QString& left, const QString& right);
