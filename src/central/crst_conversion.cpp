#include "central/crst_conversion.h"

namespace nuvexa::central {

std::string ConverterCRST(const std::string& stored) {
  // The maker stores the code through a substitution table of its own; that table belongs
  // here, and is the only thing to add when it is known. Until then the stored form is
  // taken as it is.
  return stored;
}

}  // namespace nuvexa::central
