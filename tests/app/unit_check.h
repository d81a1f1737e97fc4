// The counting check of Ampwise's Windows unit program.
#pragma once

void Check(bool ok, const char* what, int caseIndex);
