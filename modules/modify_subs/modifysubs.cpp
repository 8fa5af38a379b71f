#include <algorithm>
#include <iostream>

#include "modify_subs.h"
#include "module_passes.h"
#include "stack/large_stack.h"

bool endsWith(const std::string& fullString, const std::string& ending) {
    return fullString.size() >= ending.size() &&
           fullString.compare(fullString.size() - ending.size(), ending.size(), ending) == 0;
}

// The ending is judged on the name alone, byte for byte: the file is not looked at
// before a pass is chosen, and an unknown ending writes nothing. A pass runs on a
// large stack because its regexes recurse per text byte.
std::string modifySubs(const std::string& subfile, const std::string& replacementFile) {
    if (endsWith(subfile, ".ass")) return onLargeStack([&] { return modifyAss(subfile, replacementFile); });
    if (endsWith(subfile, ".srt")) return onLargeStack([&] { return modifySrt(subfile, replacementFile); });
    return "";
}

std::string overwriteSubs(const std::string& subfile, const std::string& replacementFile) {
    if (endsWith(subfile, ".ass")) return onLargeStack([&] { return assSubtitles(subfile, replacementFile); });
    if (endsWith(subfile, ".srt")) return onLargeStack([&] { return srtSubtitles(subfile, replacementFile); });
    return "";
}

std::string find_key_by_string(const OuterMap& dictionary, const std::string& target_string,
                               const std::string& search_array) {
    const auto honorifics = dictionary.find("honorifics");
    if (honorifics == dictionary.end()) return "";
    for (const auto& [key, nested_dict] : honorifics->second) {
        const auto arr = nested_dict.find(search_array);
        if (arr == nested_dict.end()) continue;
        if (std::find(arr->second.begin(), arr->second.end(), target_string) != arr->second.end()) {
            return key;
        }
    }
    return "";
}

void printMap(const OuterMap& cpp_dict) {
    for (const auto& outerPair : cpp_dict) {
        std::cout << "Outer Key: " << outerPair.first << std::endl;
        for (const auto& innerPair : outerPair.second) {
            std::cout << "  Inner Key: " << innerPair.first << std::endl;
            for (const auto& innerMostPair : innerPair.second) {
                std::cout << "    Inner Most Key: " << innerMostPair.first << std::endl;
                std::cout << "      Values: ";
                for (const std::string& value : innerMostPair.second) {
                    std::cout << value << ' ';
                }
                std::cout << std::endl;
            }
        }
    }
}
