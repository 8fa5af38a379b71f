#pragma once

// A developer's aid: not part of the module's interface and called by nothing in it.

#include "modify_subs.h"

// Dumps every key and list of `cpp_dict` to standard output, one flushed line each.
void printMap(const OuterMap& cpp_dict);
