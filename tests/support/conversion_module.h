// For tests beside the library's clients (the probe): the conversion module put in place as the
// program puts it, or taken away, without those clients' code knowing the program's loader.
#pragma once

class Module;

namespace kjtest {

// As the program does on start-up: the entry-point table, the probe's file scan and the
// compressor manager all serve `module` (none with a null module).
void UseConversionModule(const Module* module);

}  // namespace kjtest
