// The launcher's standard output and standard error as streams. They behave as std::cout and
// std::cerr do (unbuffered, over the C library's stdout and stderr, standard error tied to
// standard output and flushed after every write), but each is made when it is first used: a
// quiet start-up, which writes nothing, then builds no stream and no locale, which would cost it
// more than all its own work. No file that the launcher links includes <iostream>.
#pragma once

#include <ostream>

std::ostream& standardOutput();
std::ostream& standardError();
