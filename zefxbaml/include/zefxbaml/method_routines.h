// The routines that stand in the slots of the method vector, one prototype
// each, grouped by the request family they serve. The host calls them through
// the vector only; none is exported by name. Every one returns a 32-bit
// status (0 success, positive notes, 0x8000xxxx failures) and hands its
// results back through out-parameters.
//
// `zef::fn::<routine>` names each routine's pointer type, so that a caller
// holding a vector can call a slot with its exact prototype.
#pragma once

#include <cstdint>

#include "zefxbaml/abi.h"
#include "zefxbaml/requests.h"

#define ZEF_HIDDEN __attribute__((visibility("hidden")))

namespace zef {

// Records the routines hand out or take back; each is defined with the
// routines that own it.
struct OptionBlock;
struct FilerefRecord;
struct StreamBlock;
struct DirectoryHandle;
struct RoutineTable;

// ------------------------------------------------------- not supported --

// Answers every request the method does not serve; ignores whatever it is given.
ZEF_HIDDEN int32_t yxlnsup();

// ------------------------------------------------------------ filerefs --

ZEF_HIDDEN int32_t yxlasgn(char *fileref8, void *context, const char *method8,
                           const char *physical_name, int32_t physical_name_length,
                           OptionBlock *options);
ZEF_HIDDEN int32_t yxlasl(char *fileref8, void *context, const char *method8,
                          const char *existing_name, int32_t existing_name_length,
                          const char *extension, int32_t extension_length, void *unused,
                          OptionBlock *options);
ZEF_HIDDEN int32_t yxldasg(const char *fileref8, void *context);
// The stream close passes its stream control block, whose first field is the name.
ZEF_HIDDEN int32_t yxlhbfr(const char *fileref8, void *context, OptionBlock *options);
ZEF_HIDDEN int32_t yxlpars(void *unused1, OwnerRecord *owner, void *unused3, uint32_t flags,
                           void *source, int32_t *taken, OptionBlock **block);
ZEF_HIDDEN int32_t yxlexl(const char *fileref8, void *context);
ZEF_HIDDEN int32_t yxlpnam(const char *fileref8, char *buffer1024);
ZEF_HIDDEN int32_t yxlnxt(FilerefRecord **cursor, char *fileref8, void *context,
                          const char **full_name, int32_t *full_name_length);

// ------------------------------------------------------- entry streams --

ZEF_HIDDEN int32_t yxlopn(StreamBlock **out_stream, const char *fileref8, void *context,
                          OpenRequest *request);
ZEF_HIDDEN int32_t yxlread(StreamBlock *stream, char **data, int64_t *length, char *carriage);
ZEF_HIDDEN int32_t yxlwrit(StreamBlock *stream, const char *data, int64_t length,
                           int32_t carriage);
ZEF_HIDDEN int32_t yxlflsh(StreamBlock *stream);
// Further arguments the host passes are ignored.
ZEF_HIDDEN int32_t yxlcls(StreamBlock *stream);
ZEF_HIDDEN int32_t yxlnote(StreamBlock *stream, int64_t *position);
ZEF_HIDDEN int32_t yxlpnt(StreamBlock *stream, int64_t position);

// ----------------------------------------------- directories and members --

ZEF_HIDDEN int32_t yxldopn(DirectoryHandle **handle_out, const char *fileref8, void *context);
ZEF_HIDDEN int32_t yxldnxt(void **scan_cell, DirectoryHandle *handle, char *name_out,
                           int32_t *name_length_out, char *type_out8);
ZEF_HIDDEN int32_t yxldcls(DirectoryHandle *handle);
// Both look only at the handle; further arguments are ignored.
ZEF_HIDDEN int32_t yxldins(DirectoryHandle *handle);
ZEF_HIDDEN int32_t yxldinf(DirectoryHandle *handle);
ZEF_HIDDEN int32_t yxlmopn(StreamBlock **out_stream, DirectoryHandle *handle,
                           const char *member_name, int32_t member_name_length,
                           const char *member_kind8, OpenRequest *request);
// Further arguments are ignored.
ZEF_HIDDEN int32_t yxlmcls(StreamBlock *stream);
ZEF_HIDDEN int32_t yxlmex(DirectoryHandle *handle, const char *member_name,
                          int32_t member_name_length, const char *member_type8);

// ------------------------------------------- information and maintenance --

ZEF_HIDDEN int32_t yxlinfo(StreamBlock *stream, const char *fileref8, void *context,
                           uint32_t item_mask, void *unused, FileInformationRequest *request);
ZEF_HIDDEN int32_t yxlins(StreamBlock *stream, InformationRecord **record_out);
ZEF_HIDDEN int32_t yxlinf(StreamBlock *stream, InformationRecord *record);
ZEF_HIDDEN int32_t yxlexp(const char *fileref8, void *context);
ZEF_HIDDEN int32_t yxldel(const char *fileref8, void *context);
ZEF_HIDDEN int32_t yxlhh2p(void *unused, OwnerRecord *owner, OptionBlock *block, void **image_out,
                           int32_t *image_length);
ZEF_HIDDEN int32_t yxlhp2h(void *unused, OwnerRecord *owner, const void *image,
                           int32_t image_length, OptionBlock **block_out);
ZEF_HIDDEN int32_t yxlamvc(StreamBlock *stream, RoutineTable **table_out);

// Pointer types of the slot routines, for callers that hold a vector.
namespace fn {
using yxlnsup = decltype(&zef::yxlnsup);
using yxlasgn = decltype(&zef::yxlasgn);
using yxlasl = decltype(&zef::yxlasl);
using yxldasg = decltype(&zef::yxldasg);
using yxlhbfr = decltype(&zef::yxlhbfr);
using yxlpars = decltype(&zef::yxlpars);
using yxlexl = decltype(&zef::yxlexl);
using yxlpnam = decltype(&zef::yxlpnam);
using yxlnxt = decltype(&zef::yxlnxt);
using yxlopn = decltype(&zef::yxlopn);
using yxlread = decltype(&zef::yxlread);
using yxlwrit = decltype(&zef::yxlwrit);
using yxlflsh = decltype(&zef::yxlflsh);
using yxlcls = decltype(&zef::yxlcls);
using yxlnote = decltype(&zef::yxlnote);
using yxlpnt = decltype(&zef::yxlpnt);
using yxldopn = decltype(&zef::yxldopn);
using yxldnxt = decltype(&zef::yxldnxt);
using yxldcls = decltype(&zef::yxldcls);
using yxldins = decltype(&zef::yxldins);
using yxldinf = decltype(&zef::yxldinf);
using yxlmopn = decltype(&zef::yxlmopn);
using yxlmcls = decltype(&zef::yxlmcls);
using yxlmex = decltype(&zef::yxlmex);
using yxlinfo = decltype(&zef::yxlinfo);
using yxlins = decltype(&zef::yxlins);
using yxlinf = decltype(&zef::yxlinf);
using yxlexp = decltype(&zef::yxlexp);
using yxldel = decltype(&zef::yxldel);
using yxlhh2p = decltype(&zef::yxlhh2p);
using yxlhp2h = decltype(&zef::yxlhp2h);
using yxlamvc = decltype(&zef::yxlamvc);
}  // namespace fn

}  // namespace zef
