#pragma once

// The build's date and time in the compiler's __DATE__ " " __TIME__ form. It comes from a file
// the build writes anew at every build (SOURCE_DATE_EPOCH fixes it), so an incremental build
// never keeps the date of the last full one.
const char *buildStampText();
