#pragma once

#include <string>

namespace nuvexa::central {

// Turns the central database's stored form of a CRST code into the form that the local
// PADRAO.CRST holds.
std::string ConverterCRST(const std::string& stored);

}  // namespace nuvexa::central
