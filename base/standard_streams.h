// The launcher's standard output and standard error as streams. They behave as std::cout and
// std::cerr do (unbuffered, over the C library's stdout and stderr, standard error tied to
// standard output and flushed after every write), but each is made at its first use, so that a
// quiet start-up builds no stream and no locale. No file that the launcher links includes
// <iostream>.
#pragma once

#include <ostream>

std::ostream& standardOutput();
std::ostream& standardError();
