#pragma once
// Finding the data descriptor of an entry written with flag bit 3, whose
// local header holds no sizes: the descriptor is the first one behind the
// data start whose compressed size equals its distance from that start.

#include "base/stream.h"
#include "base/records/ziprecords.h"

namespace vsk {

// Searches Stream from DataStart up to Limit (the end of the data that
// may hold the entry). Both the signed form ("PK" 07 08) and the bare
// 12-byte form followed by another record are recognised. On success
// fills Descriptor and Next (the offset right after it).
bool FindDataDescriptor(TStream32& Stream, Int64 DataStart, Int64 Limit, TZipDataDescriptor& Descriptor,
                        Int64& Next);

}  // namespace vsk
