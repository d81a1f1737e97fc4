// The counting check of Ampwise's Windows unit program.
#pragma once

void Check(bool ok, const char* what, int caseIndex);

// The tables of Ampwise's own logic and of its class library.
void RunAmpwiseTables();
void RunAfxChecks();
// Prints the "N passed, N failed" line; returns the number of failures.
int ReportUnitChecks();
