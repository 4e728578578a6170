// The JSON form of what the movie reader found in a file, as fwmov prints it.
#pragma once

#include <string>

#include "core/movie/movie_reader.h"

namespace fw {

std::string MovieFileInfoToJson(const MovieFileInfo& info, const std::string& fileName);

}  // namespace fw
