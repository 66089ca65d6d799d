// Loops over every pixel of a picture (or every cell of a table), built
// without coverage feedback in the fuzzing build: their comparisons (the
// loop's end, a level test) tell the fuzzer nothing about which paths an
// input takes, and calling the feedback hooks for each pixel would cost most
// of its time. They keep every other check of that build (addresses,
// undefined behaviour). Such a function is not inlined there, as its body
// would take on the feedback of the function it went into. Other builds are
// not affected.
#pragma once

#if defined(VEXO_FUZZING) && defined(__clang__)
#define VEXO_PIXEL_LOOP __attribute__((no_sanitize("coverage"), noinline))
#else
#define VEXO_PIXEL_LOOP
#endif
