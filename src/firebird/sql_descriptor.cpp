#include "firebird/sql_descriptor.h"

#include <cstring>

namespace nuvexa::firebird {

SqlDescriptor::SqlDescriptor(int capacity)
    : memory_(std::make_unique<std::byte[]>(XSQLDA_LENGTH(capacity))),
      sqlda_(reinterpret_cast<XSQLDA*>(memory_.get())),
      buffers_(static_cast<std::size_t>(capacity)),
      indicators_(static_cast<std::size_t>(capacity)) {
  sqlda_->version = SQLDA_VERSION1;
  sqlda_->sqln = static_cast<ISC_SHORT>(capacity);
}

char* SqlDescriptor::NewBuffer(int index, std::size_t bytes) {
  Buffer& buffer = buffers_[static_cast<std::size_t>(index)];
  buffer.assign((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t) + 1, 0);
  return reinterpret_cast<char*>(buffer.data());
}

void SqlDescriptor::AllocateForOutput() {
  for (int i = 0; i < Count(); ++i) {
    XSQLVAR& column = (*this)[i];
    // VARYING data starts with its 2-byte length
    const std::size_t bytes = static_cast<std::size_t>(column.sqllen) + ((column.sqltype & ~1) == SQL_VARYING ? 2 : 0);
    column.sqldata = NewBuffer(i, bytes);
    column.sqlind = &indicators_[static_cast<std::size_t>(i)];
  }
}

void SqlDescriptor::Bind(int index, const ParamBinding& binding) {
  XSQLVAR& marker = (*this)[index];
  marker.sqltype = static_cast<ISC_SHORT>(binding.sql_type | 1);
  marker.sqlscale = binding.scale;
  marker.sqlsubtype = binding.sub_type;
  marker.sqllen = binding.length;
  marker.sqldata = NewBuffer(index, binding.data.size());
  std::memcpy(marker.sqldata, binding.data.data(), binding.data.size());
  ISC_SHORT& indicator = indicators_[static_cast<std::size_t>(index)];
  indicator = binding.null ? -1 : 0;
  marker.sqlind = &indicator;
}

}  // namespace nuvexa::firebird
