#pragma once
#include <cstdint>

namespace xls {

struct TExcelFunction {
    uint8_t minArgs;
    uint8_t maxArgs;   // 99: open-ended
    const char* name;
    uint8_t argClass[6];
};

constexpr int ExcelFunctionCount = 381;
extern const TExcelFunction ExcelFunctions[ExcelFunctionCount];

}
