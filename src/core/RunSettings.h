#pragma once
#include <QString>

#include <array>
#include <cstdint>

// What the timing is set to and what the run carries between events. The main
// window owns one and hands it to whoever needs it.
struct TRunSettings {
    int Cars = 2; // 1 or 2
    int Laps = 2; // 2..5, always 2 with two cars
    std::array<int32_t, 3> CarHundredths{}; // per car 1..2: sum of truncated lap times
    // Modem-status word of the previous light-barrier event; no real word equals the start value.
    uint32_t LastModemStatus = 0x55555555;
    QString ListSubtitle; // shown after "Ergebnisliste" in the report; set by an imported sheet
};
