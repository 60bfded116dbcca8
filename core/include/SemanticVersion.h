#pragma once

#include <QString>

#include <compare>

// A version number major.minor.patch found in free text ("release 1.4.2-beta+7" reads as 1.4.2).
// Text without a version reads as 0.0.0, which callers order like any other version. Ordering is
// numeric and lexicographic over major, minor, patch.
class SemanticVersion
{
public:
    SemanticVersion() = default;
    SemanticVersion(int major, int minor, int patch = 0);
    // Takes the leftmost "<digits>.<digits>[.<digits>]" in text; a number above 2147483647 reads as
    // 0, a missing patch as 0.
    explicit SemanticVersion(const QString &text);

    bool isOlderThan(const SemanticVersion &other) const { return *this < other; }
    QString toString() const;

    friend bool operator==(const SemanticVersion &, const SemanticVersion &) = default;
    friend std::strong_ordering operator<=>(const SemanticVersion &, const SemanticVersion &)
        = default;

    int major = 0;
    int minor = 0;
    int patch = 0;
};
