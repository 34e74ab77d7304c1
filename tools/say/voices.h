#pragma once

#include <span>
#include <string_view>

namespace say {

// One named voice: an espeak-ng variant of US English with its own speed and pitch.
struct Voice {
    std::string_view name;
    std::string_view variant; // espeak-ng variant file under voices/!v, empty for the plain voice
    int rate;                 // words per minute
    int pitch;                // 0-100
    int range;                // pitch range 0-100
    std::string_view sample;  // sentence shown by -v '?'
};

inline constexpr std::string_view kBaseVoice = "en-us";
inline constexpr std::string_view kLanguage = "en_US";
inline constexpr std::string_view kDefaultVoice = "Alex";

std::span<const Voice> voices();

// Case-insensitive lookup; nullptr when there is no such voice.
const Voice* findVoice(std::string_view name);

} // namespace say
