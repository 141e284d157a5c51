// zefcat's version, as --version shows it; it moves with the module's
// release (zefcat about shows the module's own).
#pragma once

namespace zefcat {

inline constexpr const char *kVersion = "1.0.0";

}  // namespace zefcat
