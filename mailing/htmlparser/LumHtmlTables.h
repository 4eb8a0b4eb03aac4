#pragma once
// Fixed tables behind the parser's name lookups.

struct LumEntity {
    const char* name;
    unsigned short code;
};

extern const LumEntity kLumHtmlEntities[];
extern const int kLumHtmlEntityCount;

// Tag ids the parser interprets.
enum : unsigned {
    kLumTagPre = 77,
    kLumTagScript = 82,
    kLumTagStyle = 89,
    kLumTagTitle = 99,
};
