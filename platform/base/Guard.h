#pragma once
#include <exception>

// The error logger every operation reports to. Silent unless CORVANE_DEBUG=1, then
// one line on stderr. It never throws.
void LogError(const char* signature, const char* detail = nullptr) noexcept;

// Runs body under the catch-all of the program's own operations: any failure is
// handed to LogError with the operation's signature text and the caller carries on
// with whatever its result held at that point.
//
//   QString TUrl::GetUrl() const {
//       QString result;
//       Guarded("function TUrl.GetUrl: string", [&] { result = ...; });
//       return result;
//   }
template <class Body>
void Guarded(const char* signature, Body&& body) noexcept
{
    try {
        body();
    } catch (const std::exception& e) {
        LogError(signature, e.what());
    } catch (...) {
        LogError(signature);
    }
}
