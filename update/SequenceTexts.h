#pragma once
// Every text that the start-up and update sequence shows, in one place, spacing and punctuation
// as the user sees them. "\n" is one line feed.

#include <array>
#include <string_view>

#include "update/Translatable.h"

namespace texts {

// Message box captions.
inline constexpr std::string_view kWarningTitle = NORVIK_TRANSLATABLE("Norvik", "Warning");
inline constexpr std::string_view kErrorTitle = NORVIK_TRANSLATABLE("Norvik", "Error");
inline constexpr std::string_view kInformationTitle = NORVIK_TRANSLATABLE("Norvik", "Information");
inline constexpr std::string_view kDeviceErrorTitle = NORVIK_TRANSLATABLE("Norvik", "Error ...");

// Start-up.
// printf formats, with the version text and a count.
inline constexpr char kCaptionFallbackFormat[] = "Norvik %.*s";
inline constexpr std::string_view kNoFirmware = NORVIK_TRANSLATABLE("Norvik", "No F/W in executable !");
inline constexpr std::string_view kDeviceFailed = NORVIK_TRANSLATABLE("Norvik", "Device object initialize failed !");
inline constexpr std::string_view kInitialPercent = "0 %";

inline constexpr std::string_view kNoMatchHead = NORVIK_TRANSLATABLE("Norvik", "No matched drive detected !\n");
inline constexpr std::string_view kNoMatchProductBefore = NORVIK_TRANSLATABLE("Norvik", "This utility is only for ");
inline constexpr std::string_view kNoMatchProductAfter = NORVIK_TRANSLATABLE("Norvik", " drive.\n\n");
inline constexpr std::string_view kNoMatchDetected = NORVIK_TRANSLATABLE("Norvik", "Detected drives :\n");
// Shown before the no-match message when the program carries only the flash profiles built
// from source.
inline constexpr std::string_view kPlaceholderProfiles =
    NORVIK_TRANSLATABLE("Norvik",
                        "This program carries only the placeholder flash profiles built from source, so it updates "
                        "no drive.\nPack the drive's flash profiles in with norvik-pack --profiles.");
// Shown at start-up when a profile of the program's own store holds one byte value throughout.
inline constexpr std::string_view kDamagedProfiles = NORVIK_TRANSLATABLE(
    "Norvik",
    "This program's flash profiles are damaged (one of them holds a single byte value throughout), "
    "so it updates no drive.\nPack the drive's flash profiles in again with norvik-pack --profiles.");

inline constexpr std::string_view kNoticeProductBefore = NORVIK_TRANSLATABLE("Norvik",
                                                                             "This flash utility only supports ");
inline constexpr std::string_view kNoticeProductAfter = NORVIK_TRANSLATABLE("Norvik", " drive.\n\n");
inline constexpr std::string_view kNoticeHead = NORVIK_TRANSLATABLE("Norvik", "NOTICE : \n\n");
inline constexpr std::string_view kNoticePoint1 =
    NORVIK_TRANSLATABLE("Norvik", "1> Please REMOVE disc and close all applications before running this utility !\n");
inline constexpr std::string_view kNoticePoint2 =
    NORVIK_TRANSLATABLE("Norvik", "2> Don't turn off the system while flash is in progress. \n");
inline constexpr std::string_view kNoticePoint3 =
    NORVIK_TRANSLATABLE("Norvik", "3> Don't remove the adapter and battery during F/W reflash processing. \n");
inline constexpr std::string_view kNoticeQuestion = NORVIK_TRANSLATABLE("Norvik", "\nDo you wish to continue ?");

// The drive's verdict under the list.
inline constexpr std::string_view kNotAllowed = NORVIK_TRANSLATABLE("Norvik",
                                                                    "This drive is not allowed to be updated.");
inline constexpr std::string_view kWillBeUpdated = NORVIK_TRANSLATABLE("Norvik",
                                                                       "It will be updated from             to");
// The sentence up to the run of spaces after "from", where a window places the old revision.
inline constexpr std::string_view kWillBeUpdatedBeforeGap = kWillBeUpdated.substr(0, kWillBeUpdated.find("  "));

// The update.
inline constexpr std::string_view kAlreadyCurrent =
    NORVIK_TRANSLATABLE("Norvik", "Your drive's Firmware is already the most updated !\n Do you wish to continue ?");
// More updatable drives than one update takes: the count of the rest goes into %d.
inline constexpr char kDrivesLeftOutFormat[] =
    NORVIK_TRANSLATABLE("Norvik",
                        "This utility updates at most 16 drives at a time.\n"
                        "The first 16 drives take part in this update; %d further drive(s) found on this system "
                        "keep their firmware.");

// A drive of the update that could not be opened exclusively: the system's reason goes into %s.
inline constexpr char kDriveNotOpenedFormat[] = NORVIK_TRANSLATABLE("Norvik", "%s.\nThis drive is not updated.");
// The reason given to the system for holding off shutdown and sleep, followed by the drives.
inline constexpr std::string_view kInhibitorWhy = "Writing new firmware into";

inline constexpr std::string_view kCheckDisc = NORVIK_TRANSLATABLE("Norvik", "Check Disc & Tray Status...");
inline constexpr std::string_view kTrayOut = NORVIK_TRANSLATABLE("Norvik", "Tray Out ...");
inline constexpr std::string_view kTrayIn = NORVIK_TRANSLATABLE("Norvik", "Tray In ...");
inline constexpr std::string_view kWaitingReady = NORVIK_TRANSLATABLE("Norvik", "Waiting Drive Ready ...");
inline constexpr std::string_view kRemoveDisc = NORVIK_TRANSLATABLE("Norvik", "Please remove the disc.");
inline constexpr std::string_view kDiscLocked =
    NORVIK_TRANSLATABLE("Norvik",
                        "Disc detected in drive. Unable to eject the disc , maybe locked by other program\n\n"
                        "Please remove the disc manually.");
inline constexpr std::string_view kPushTrayIn = NORVIK_TRANSLATABLE("Norvik", "Please push the tray in.");

inline constexpr std::string_view kProgramming = NORVIK_TRANSLATABLE("Norvik", "Programming ");
inline constexpr std::string_view kProgrammingAtMaximum = NORVIK_TRANSLATABLE("Norvik", "Programming ..........");
inline constexpr std::string_view kInquiry = NORVIK_TRANSLATABLE("Norvik", "Inquiry ...");
inline constexpr std::string_view kFullPercent = "100 %";

inline constexpr std::string_view kUpdateFailed =
    NORVIK_TRANSLATABLE("Norvik", "Unable to flash firmware. Please contact with your vendor !");
inline constexpr std::string_view kDone = NORVIK_TRANSLATABLE("Norvik", "Done.");
inline constexpr std::string_view kUpdated = NORVIK_TRANSLATABLE("Norvik", "Firmware has been updated successfully !");

// Every text above that a front end translates, for its catalogue and its tests.
inline constexpr std::array<std::string_view, 37> kTranslatable = {
    kWarningTitle,
    kErrorTitle,
    kInformationTitle,
    kDeviceErrorTitle,
    kNoFirmware,
    kDeviceFailed,
    kNoMatchHead,
    kNoMatchProductBefore,
    kNoMatchProductAfter,
    kNoMatchDetected,
    kPlaceholderProfiles,
    kDamagedProfiles,
    kNoticeProductBefore,
    kNoticeProductAfter,
    kNoticeHead,
    kNoticePoint1,
    kNoticePoint2,
    kNoticePoint3,
    kNoticeQuestion,
    kNotAllowed,
    kWillBeUpdated,
    kAlreadyCurrent,
    kDrivesLeftOutFormat,
    kDriveNotOpenedFormat,
    kCheckDisc,
    kTrayOut,
    kTrayIn,
    kWaitingReady,
    kRemoveDisc,
    kDiscLocked,
    kPushTrayIn,
    kProgramming,
    kProgrammingAtMaximum,
    kInquiry,
    kUpdateFailed,
    kDone,
    kUpdated,
};

}  // namespace texts
