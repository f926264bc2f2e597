#include "base/Exception.h"

Exception::Exception(const BString& message) : message(message) {}

Exception::Exception(const char* message) : message(message) {}

const char* Exception::what() const noexcept
{
    return message.CStr();
}

const BString& Exception::Message() const noexcept
{
    return message;
}
