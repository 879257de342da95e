#pragma once
// What the preview prints for its command line: the plan of the run that the same command line would
// make (the tool's switch rule), as JSON when "/Json" is given, else as a readable report.

#include <string>

#include "platform/command_line_api.h"
#include "platform/package_manager_api.h"
#include "platform/registry_api.h"

namespace halvern {

// UTF-8. Raises only std::bad_alloc.
std::string PreviewOutput(CommandLineApi& command_line, RegistryReadApi& registry,
                          PackageManagerReadApi& packages);

}  // namespace halvern
