// The table of kinds, put together: each joiner folder gives the rows of its kinds and this is
// the one list of them. Whatever reads the table first calls InstallKinds (the programs at
// start, the dialog, the engines' and the check's entry points here).
#pragma once

// Builds the table of kinds (job/kind_table.h) from every joiner's rows; once, whoever calls
// first.
void InstallKinds();
