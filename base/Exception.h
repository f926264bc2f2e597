// Exception: the library's exception, carrying one message returned by what().
#pragma once

#include "base/BString.h"

#include <exception>

class Exception : public std::exception
{
public:
    explicit Exception(const BString& message);
    explicit Exception(const char* message);

    // The message bytes; valid as long as the exception object lives.
    const char* what() const noexcept override;
    const BString& Message() const noexcept;

private:
    BString message;
};
