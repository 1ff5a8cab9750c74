// The program's export writers and their registration in the report
// engine's filter library, which the preview's Save dialog lists.
#pragma once

namespace zorbel {

// Lists every export writer of the program in ExportFilterLibrary(), once
// each (a second call adds nothing). Called by the application at start-up.
void RegisterExportFilters();

} // namespace zorbel
