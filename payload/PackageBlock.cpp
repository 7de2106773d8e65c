// The delivered update package. It lives in a section of its own so that the packaging step
// finds it in a built program, and it is read only through OwnPackageBlock(), which hides the
// object from the optimiser: a program must behave as it was packed, not as it was compiled.

#include "payload/PackageBlock.h"

#include "payload/PackageFileLayout.h"
#include "payload/PackageLayout.h"

namespace payload {

// Not const and with external linkage: the compiler must assume the bytes can change, and
// "used" keeps the block even though nothing in this file reads it by name.
__attribute__((section(NORVIK_PACKAGE_SECTION), used)) PackageBlock norvikOwnPackage = {
    .banner = "[Norvik Engineering]",
    .version = "v2.0.0",
    .contact = "+1-555-0100-42",
    .caption = "Flash Program for TALVORE DVDRW KRX-407T",
    .releaseDate = "2003/12/23",
    .spare = "N/A",
    .product = "TALVORE DVDRW KRX-407T",
    .constraintLabel = "FW_CONSTRAINTS=",
    // clang-format off
    .constraints = {
        {
            {"RN01", "RN08", "TALVORE ", "DVDRW KRX-407T  "},
            {"0N03", "0N03", "TALVORE ", "DVDRW KRX-407T  "},
            {"#FLSH13", "#", "#", "#"},
            {"#FLSH14", "#", "#", "#"},
            {"#FLSH15", "#", "#", "#"},
            {"#FLSH16", "#", "#", "#"},
            {"#FLSH17", "#", "#", "#"},
            {"#FLSH18", "#", "#", "#"},
        },
        {
            {"#FLSH21", "#", "#", "#"},
            {"#FLSH22", "#", "#", "#"},
            {"#FLSH23", "#", "#", "#"},
            {"#FLSH24", "#", "#", "#"},
            {"#FLSH25", "#", "#", "#"},
            {"#FLSH26", "#", "#", "#"},
            {"#FLSH27", "#", "#", "#"},
            {"#FLSH28", "#", "#", "#"},
        },
        {
            {"#FLSH31", "#", "#", "#"},
            {"#FLSH32", "#", "#", "#"},
            {"#FLSH33", "#", "#", "#"},
            {"#FLSH34", "#", "#", "#"},
            {"#FLSH35", "#", "#", "#"},
            {"#FLSH36", "#", "#", "#"},
            {"#FLSH37", "#", "#", "#"},
            {"#FLSH38", "#", "#", "#"},
        },
        {
            {"#FLSH41", "#", "#", "#"},
            {"#FLSH42", "#", "#", "#"},
            {"#FLSH43", "#", "#", "#"},
            {"#FLSH44", "#", "#", "#"},
            {"#FLSH45", "#", "#", "#"},
            {"#FLSH46", "#", "#", "#"},
            {"#FLSH47", "#", "#", "#"},
            {"#FLSH48", "#", "#", "#"},
        },
    },
    // clang-format on
    .n2oMessage = "N2OMESSAGE=0",
    .chkDisc = "CHKDISC=0",
    .bootCode = "BOOTCODE=0",
    .reboot = "REBOOT=1",
    .autoMode = "AUTOMODE=0",
    .closeAp = "CLOSEAP=0",
    .warning = "WARNING=1",
    .nbWarning = "NBWARNING=0",
    .howManyBin = "HOW_MANY_BIN=1",
    .binStart = {"BIN_START1=0000000000", "BIN_START2=0000000000", "BIN_START3=0000000000", "BIN_START4=0000000000"},
    .binSize = {"BIN_SIZE1=0001048576", "BIN_SIZE2=0000000000", "BIN_SIZE3=0000000000", "BIN_SIZE4=0000000000"},
    .newRevision = {"NEW_FW1=RN08", "NEW_FW2=N/A ", "NEW_FW3=N/A ", "NEW_FW4=N/A "},
    .imageArea = "BANK_START_FROM_HERE",
};

const uint8_t* OwnPackageBlock()
{
    const uint8_t* block = reinterpret_cast<const uint8_t*>(&norvikOwnPackage);
    // An empty statement that claims to change the pointer: whatever the optimiser knows about
    // the object's initial bytes no longer applies to what the caller reads through it.
    asm volatile("" : "+r"(block));
    return block;
}

// The image digests lie in a section of their own beside the block, so that recording them moves
// no byte of the block. Defined here so that every program that carries the block carries them.
// As built, the record holds its magic and no digest: the image is still the placeholder.
__attribute__((section(NORVIK_DIGEST_SECTION), used)) ImageDigests norvikOwnDigests = {
    .magic = {'N', 'V', 'D', 'I', 'G', 'E', 'S', 'T'},
    .recorded = {},
    .sha256 = {},
};

const uint8_t* OwnImageDigests()
{
    const uint8_t* digests = reinterpret_cast<const uint8_t*>(&norvikOwnDigests);
    asm volatile("" : "+r"(digests));
    return digests;
}

}  // namespace payload
