#pragma once

// 0 when the first argument reached us unchanged; otherwise the system's error value.
// Characters outside the ANSI code page reach a narrow main as '?' or as best-fit
// look-alikes ("α" as "a"), which could name a different, existing folder.
int sourceArgumentError();
