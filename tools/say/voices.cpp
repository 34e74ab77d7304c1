#include "voices.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace say {
namespace {

// Every voice uses its own variant so that no two sound alike; rate, pitch and range set by ear.
constexpr std::array<Voice, 24> kVoices{{
    {"Alex", "", 175, 45, 50, "Hello, I read your documents aloud."},
    {"Agnes", "f2", 170, 55, 55, "A calm voice for long letters."},
    {"Albert", "croak", 150, 30, 70, "Pardon the rasp, I have been talking all day."},
    {"BadNews", "m1", 110, 15, 90, "I am sorry to tell you this slowly."},
    {"Bahh", "grandma", 150, 70, 80, "Gather round and listen to an old story."},
    {"Bells", "klatt4", 130, 80, 100, "Ring out the hours, one by one."},
    {"Boing", "Tweaky", 190, 75, 100, "Up and down and up again!"},
    {"Bruce", "m7", 170, 30, 45, "Steady and clear, every word in place."},
    {"Bubbles", "m2", 160, 60, 80, "Everything sounds better under water."},
    {"Cellos", "m4", 120, 20, 100, "Deep and slow, like a string section."},
    {"Deranged", "AnxiousAndy", 220, 60, 100, "Quick, quick, there is no time to lose!"},
    {"Fred", "klatt", 160, 45, 0, "One tone, no fuss, just the words."},
    {"GoodNews", "f3", 150, 75, 100, "Wonderful news, and plenty of it!"},
    {"Hysterical", "aunty", 260, 90, 100, "I cannot stop, this is all too funny!"},
    {"Junior", "m3", 190, 90, 60, "Can I read the next page too?"},
    {"Kathy", "f1", 175, 50, 50, "Let me read that for you."},
    {"Organ", "robosoft", 120, 25, 0, "A low hum under every sentence."},
    {"Princess", "f5", 180, 95, 70, "Once upon a time, in a tall tower."},
    {"Ralph", "m6", 160, 5, 40, "Low and even, from the back of the room."},
    {"Trinoids", "UniRobot", 170, 70, 10, "Greetings from a very distant planet."},
    {"Vicki", "f4", 175, 55, 50, "Your text, read out in full."},
    {"Victoria", "linda", 165, 40, 40, "Good evening, here is your document."},
    {"Whisper", "whisper", 160, 50, 50, "Keep this between the two of us."},
    {"Zarvox", "robosoft3", 160, 40, 0, "Processing words at a constant pitch."},
}};

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

std::span<const Voice> voices() { return kVoices; }

const Voice* findVoice(std::string_view name) {
    for (const Voice& v : kVoices) {
        if (sameName(v.name, name)) return &v;
    }
    return nullptr;
}

} // namespace say
