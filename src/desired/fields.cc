#include "src/desired/fields.h"

namespace brellox {
namespace desired {

namespace {

#define BRELLOX_FIELD(Record, member) \
  Field { #member, offsetof(Record, member), sizeof(Record::member) }

const Field kConnFields[] = {
    BRELLOX_FIELD(SVC_GDB_CONN_INFO, name),
    BRELLOX_FIELD(SVC_GDB_CONN_INFO, info1),
    BRELLOX_FIELD(SVC_GDB_CONN_INFO, info2),
    BRELLOX_FIELD(SVC_GDB_CONN_INFO, info3),
    BRELLOX_FIELD(SVC_GDB_CONN_INFO, info4),
    BRELLOX_FIELD(SVC_GDB_CONN_INFO, fill),
};
const Field kGdbFields[] = {
    BRELLOX_FIELD(SVC_GDB_INFO, name),
    BRELLOX_FIELD(SVC_GDB_INFO, details),
};

#undef BRELLOX_FIELD

}  // namespace

FieldList FieldsOf(const SVC_GDB_CONN_INFO*) {
  return {kConnFields, sizeof(kConnFields) / sizeof(kConnFields[0])};
}
FieldList FieldsOf(const SVC_GDB_INFO*) {
  return {kGdbFields, sizeof(kGdbFields) / sizeof(kGdbFields[0])};
}

}  // namespace desired
}  // namespace brellox
