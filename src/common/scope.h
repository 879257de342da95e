#pragma once
// The scope of a run, fixed once by its command line: the machine (the registrations in
// HKEY_LOCAL_MACHINE, every user's packages) or the current user (HKEY_CURRENT_USER, that user's packages).

namespace halvern {

enum class Scope : bool { User, Machine };

}  // namespace halvern
