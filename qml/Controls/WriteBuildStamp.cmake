# Writes the build stamp source: cmake -DOUTPUT=<file> -P WriteBuildStamp.cmake
# string(TIMESTAMP) follows SOURCE_DATE_EPOCH when it is set (then in UTC, like the compiler's
# own __DATE__ and __TIME__).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(utc UTC)
endif()
string(TIMESTAMP month "%b" ${utc})
string(TIMESTAMP day "%d" ${utc})
string(TIMESTAMP rest "%Y %H:%M:%S" ${utc})
# The compiler pads the day with a blank, not a zero.
string(REGEX REPLACE "^0" " " day "${day}")
set(content "#include \"BuildStamp.h\"\n\nconst char *buildStampText()\n{\n    return \"${month} ${day} ${rest}\";\n}\n")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" previous)
endif()
if(NOT previous STREQUAL content)
    file(WRITE "${OUTPUT}" "${content}")
endif()
