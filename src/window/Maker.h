#pragma once

// The maker's contact details, shown in the configuration file, the Help and the About window.
// The project has no site of its own yet: these live under the reserved example domain.
namespace maker {
inline constexpr const char* kWebAddress = "www.example.org/staticor";
inline constexpr const char* kSupportEmail = "staticor-support@example.org";
inline constexpr const char* kAuthor = "the Staticor developers";
} // namespace maker
