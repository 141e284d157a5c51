#include "status_text.h"

#include <algorithm>
#include <iterator>

#include "kernel_statuses.h"
#include "zefxbaml/abi.h"
#include "zefxbaml/status.h"

namespace zefhost {

namespace {

struct StatusText {
    int32_t status;
    const char *text;
};

// 0x80000803 is both the module's "no storage" and the host's "no current
// task"; one text says both.
constexpr StatusText kTexts[] = {
    {zef::kOk, "success"},
    {zef::kEndOfFile, "end of file"},
    {zef::kEndOfList, "end of the list"},
    {zef::kRecordTruncated, "record cut to the record length"},
    {zef::kNoStorage, "storage could not be obtained, or there is no current task"},
    {zef::kNameUnsuitable, "the name does not suit the request"},
    {zef::kNotSupported, "request not supported by this access method"},
    {zef::kFilerefNotAssigned, "fileref not assigned"},
    {zef::kEntryMissing, "the catalog exists but the entry does not"},
    {zef::kImageWrongLength, "option-block image of the wrong length"},
    {zef::kNbyteUnbound, "the NBYTE variable cannot be bound"},
    {zef::kUnknownOption, "unknown option keyword"},
    {zef::kOptionRejected, "option syntax or value rejected"},
    {zef::kNbyteTooLarge, "the NBYTE count exceeds the record limit"},
    {zef::kStillOpen, "fileref deassigned while still open"},
    {zef::kNullHandle, "no stream or directory handle"},
    {zef::kBadTranslation, "translation index outside 0 to 4"},

    {zef::kCatalogEndOfMember, "end of the entry"},
    {zef::kCatalogEndOfDirectory, "end of the catalog directory"},
    {zef::kCatalogLibraryNotAssigned, "library not assigned"},
    {zef::kCatalogMissing, "catalog does not exist"},
    {zef::kCatalogDamaged, "catalog store cannot be opened or is damaged"},
    {zef::kCatalogIoFailure, "input/output failure in the catalog store"},
    {zef::kCatalogEntryInUse, "entry in use"},
    {zef::kCatalogEntryMissing, "entry does not exist"},
    {zef::kCatalogBadRequest, "request not valid for this handle or mode"},
    {zef::kNameRefused, "physical name refused: empty, or a part longer than 32 characters"},

    {kUnknownMethod, "no access method of that name"},
    {kFilerefUnknownToHost, "the host does not know that fileref"},
    {kUnterminatedQuote, "quoted string not closed"},
    {kUnknownEncoding, "unknown encoding name"},
    {kNotANumber, "not a whole number"},
    {kBadArgument, "a host routine was given a null pointer or a bad length"},
    {kNoUniqueName, "no more made-up fileref names"},
    {kUnknownHostOption, "unknown host option"},
    {kTokenTooLong, "option token too long"},
    {kTokenNotReady, "option token record not readied"},
};

}  // namespace

std::string describe_status(int32_t status) {
    auto it = std::find_if(std::begin(kTexts), std::end(kTexts),
                           [status](const StatusText &t) { return t.status == status; });
    if (it != std::end(kTexts)) return it->text;
    return status < 0 ? "unknown failure" : "unknown note";
}

}  // namespace zefhost
