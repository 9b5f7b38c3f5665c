#pragma once

#include <QString>

#include <exception>

// The log line for whatever an operation threw: a Failure's own description,
// another exception's message, or a plain line for anything else. The one
// place where a failure becomes text for the user.
QString failureText(const std::exception_ptr& thrown);
