#pragma once

namespace w32 {

extern const char16_t kCodePage1251[128];
extern const char16_t kCodePage1252[128];

}  // namespace w32
