// Every text block number the program looks up, in one place. The language files
// ("language_parzello/*.lng") hold a text for each of them.
#pragma once

#include <cstdint>

namespace pz::tb {

using Block = std::uint16_t;

// Captions of the main window: menus, labels, buttons, group boxes (1 to 32).
inline constexpr Block kMenuDatei = 1;
inline constexpr Block kMenuHilfe = 2;
inline constexpr Block kMenuSprache = 3;
inline constexpr Block kMenuBeenden = 4;
inline constexpr Block kMenuInhalt = 5;
inline constexpr Block kMenuInfo = 6;
inline constexpr Block kLabelTrennDateiSplit = 7;
inline constexpr Block kLabelTrennDateiJoin = 8;
inline constexpr Block kLabelAktion = 9;
inline constexpr Block kLabelZiel = 10;
inline constexpr Block kRadioTrennen = 11;
inline constexpr Block kRadioZusammenfuehren = 12;
inline constexpr Block kGroupTrennGroesse = 13;
inline constexpr Block kGroupOptionen = 14;
inline constexpr Block kRadio144 = 15;
inline constexpr Block kRadio12 = 16;
inline constexpr Block kRadio720 = 17;
inline constexpr Block kRadio360 = 18;
inline constexpr Block kRadio100 = 19;
inline constexpr Block kRadioAuto = 20;
inline constexpr Block kRadioHand = 21;
inline constexpr Block kCheckKomprimieren = 22;
inline constexpr Block kRadioStark = 23;
inline constexpr Block kRadioSchwach = 24;
inline constexpr Block kCheckLoeschen = 25;
inline constexpr Block kCheckPasswort = 26;
inline constexpr Block kLabelDateiGroesse = 27;
inline constexpr Block kLabelTrennungen = 28;
inline constexpr Block kLabelZielPfad = 29;
inline constexpr Block kLabelZielName = 30;
inline constexpr Block kButtonAusfuehren = 31;
inline constexpr Block kButtonBeenden = 32;

// Main window: open dialog filters, input checks, busy texts and results.
inline constexpr Block kFilterSplit = 40;
inline constexpr Block kFilterJoin = 41;
inline constexpr Block kNoFirstSegment = 42;
inline constexpr Block kSplitNoSource = 43;
inline constexpr Block kSplitSourceMissing = 44;
inline constexpr Block kTooManySegments = 45;
inline constexpr Block kTargetFolderInvalid = 46;
inline constexpr Block kTargetNameEmpty = 47;
inline constexpr Block kSplitBusy = 48;
inline constexpr Block kSplitDone = 49;
inline constexpr Block kSplitFailed = 50;
inline constexpr Block kJoinNoSegment = 51;
inline constexpr Block kJoinSegmentMissing = 52;
inline constexpr Block kJoinBusy = 53;
inline constexpr Block kJoinDone = 54;
inline constexpr Block kJoinFailed = 55;

// Compression stage.
inline constexpr Block kPackBusy = 56;
inline constexpr Block kPackFailed = 57;
inline constexpr Block kUnpackBusy = 58;
inline constexpr Block kUnpackFailed = 59;

// Password and volume dialogs.
inline constexpr Block kPasswordCaption = 63;
inline constexpr Block kPasswordRepeat = 64;
inline constexpr Block kButtonOk = 65;
inline constexpr Block kButtonCancel = 66;
inline constexpr Block kPasswordFirstEmpty = 67;
inline constexpr Block kPasswordSecondEmpty = 68;
inline constexpr Block kPasswordsDiffer = 69;
inline constexpr Block kPasswordConfirmCancel = 70;
inline constexpr Block kVolumeCaption = 71;
inline constexpr Block kVolumeFolderEmpty = 72;

// Engine messages.
inline constexpr Block kSizeUnreadable1 = 73;
inline constexpr Block kSizeUnreadable2 = 74;
inline constexpr Block kSizeUnreadable3 = 75;
inline constexpr Block kSegmentWriteFailed1 = 76;
inline constexpr Block kSegmentWriteFailed2 = 77;
inline constexpr Block kSplitCancelled = 78;
inline constexpr Block kJoinCancelled = 79;
inline constexpr Block kUnpackTargetExists = 80;
inline constexpr Block kWrongPassword = 81;

// Blocks added by this program: refusals that protect the user's data and its own messages.
inline constexpr Block kSourceTooLarge = 100;          // old 2 GiB bound; no longer shown
inline constexpr Block kSegmentSizeTooSmall = 101;     // fixed segment size of 1024 bytes or less
inline constexpr Block kSegmentIsSource = 102;         // a segment file would overwrite the source
inline constexpr Block kOutputIsSegment = 103;         // the join output would overwrite a segment
inline constexpr Block kSegmentsTooLong = 104;         // segments hold more data than recorded
inline constexpr Block kStoredNameUnusable = 105;      // header name gives no usable file name
inline constexpr Block kNameTooLong = 106;             // name does not fit the header's name field
inline constexpr Block kSegmentCreateFailed = 107;     // a segment file could not be created
inline constexpr Block kReadFailed = 108;              // a file could not be read
inline constexpr Block kHeaderTooShort = 109;          // file shorter than a segment header
inline constexpr Block kHeaderDamaged = 110;           // a digit field of the header is broken
inline constexpr Block kOutputCreateFailed = 111;      // the join output could not be created
inline constexpr Block kOutputWriteFailed = 112;       // writing the join output failed
inline constexpr Block kPasswordEntryCancelled = 113;  // split stopped at the password entry
inline constexpr Block kTempArchiveInvalid = 114;      // compressed flag without a usable archive
inline constexpr Block kPasswordTooLong = 115;         // password longer than the header holds

// Command line: prompts and the "info" report.
inline constexpr Block kPromptVolumeHint = 120;  // how to answer a volume prompt
inline constexpr Block kPromptYesNo = 121;       // answer hint for a yes/no question
inline constexpr Block kInfoStoredName = 122;
inline constexpr Block kInfoCompressed = 123;
inline constexpr Block kInfoPassword = 124;
inline constexpr Block kInfoDataSize = 125;
inline constexpr Block kInfoSegments = 126;
inline constexpr Block kInfoTotal = 127;
inline constexpr Block kInfoComplete = 128;
inline constexpr Block kInfoIncomplete = 129;
inline constexpr Block kYes = 130;
inline constexpr Block kNo = 131;
inline constexpr Block kNotAFirstSegment = 132;  // info/join on a file without a header

// Packed joins and interrupted runs.
inline constexpr Block kOtherMembersKept = 133;   // archive holds other files, left packed
inline constexpr Block kMemberMissing = 134;      // archive lacks the file the header names
inline constexpr Block kCancelledBySignal = 135;  // command line stopped by a signal

// Refusals and reports that tell the user what happened and what to do.
inline constexpr Block kPasswordLimit = 150;      // prompt: password longer than the header holds
inline constexpr Block kSourceNotDeleted = 151;   // split done, but the source could not go
inline constexpr Block kPasswordFileEmpty = 152;  // --password-file with an empty first line
inline constexpr Block kInfoSurplus = 153;        // info: segments hold more than recorded

// Checksum files beside the segments, and joins that never leave a partial file.
inline constexpr Block kJoinVerified = 170;         // every segment and the file matched
inline constexpr Block kJoinNotVerified = 171;      // no checksum file was found
inline constexpr Block kJoinPartlyVerified = 172;   // nothing differs, not all was checked
inline constexpr Block kSegmentHashDiffers = 173;   // followed by the segment's name
inline constexpr Block kWholeHashDiffers = 174;     // followed by the rebuilt file's name
inline constexpr Block kJoinResultRemoved = 175;    // a failed join kept nothing
inline constexpr Block kChecksumWriteFailed = 176;  // split done, checksum file not written
inline constexpr Block kInfoChecksumFile = 177;     // "info": label of the checksum file line
inline constexpr Block kVerifyMatches = 178;        // "verify": status words of a segment
inline constexpr Block kVerifyDiffers = 179;
inline constexpr Block kVerifyNotListed = 180;
inline constexpr Block kVerifyMissing = 181;
inline constexpr Block kVerifyAllGood = 182;  // "verify": closing lines
inline constexpr Block kVerifyNotAllGood = 183;
inline constexpr Block kVerifyWholeFile = 184;  // "verify": the line of the whole file

// Sets of 2 GiB or more.
inline constexpr Block kNeedsVersion12 = 190;  // older versions cannot join this set

// The browser page that joins a set without Parzello (web/), and where the program writes it.
inline constexpr Block kWebTitle = 290;
inline constexpr Block kWebIntro = 291;
inline constexpr Block kWebChoose = 292;        // label of the file input
inline constexpr Block kWebDropHint = 293;      // the drop zone
inline constexpr Block kWebClear = 294;         // forget the chosen files
inline constexpr Block kWebMissing = 295;       // followed by the missing pieces' names
inline constexpr Block kWebSave = 296;          // before the download link
inline constexpr Block kWebSavedTo = 297;       // written into a file the user chose
inline constexpr Block kWebProgress = 298;      // label of the progress bar
inline constexpr Block kWebPasswordHint = 299;  // a protected set waits for its password
inline constexpr Block kWebNothingKept = 300;   // a failed check discarded the result
inline constexpr Block kCheckJoiner = 301;      // window option: write the page with a split
inline constexpr Block kJoinerWritten = 302;    // followed by the page's path
inline constexpr Block kJoinerWriteFailed = 303;
inline constexpr Block kInfoJoiner = 304;  // "info": how a recipient without Parzello joins
// Clear answers on the command line and in the join.
inline constexpr Block kPastLastSegment = 220;    // the data goes on past .PZX65535
inline constexpr Block kNameWithPackedSet = 221;  // --name given for a packed set
// Encrypted sets (age format) and the password-gated sets of older versions.
inline constexpr Block kInfoEncrypted = 260;            // "info": label of the encryption line
inline constexpr Block kInfoWorkFactor = 261;           // "info": scrypt work factor, then 2^n
inline constexpr Block kGatedOnly = 262;                // older set: password gated, not encrypted
inline constexpr Block kChunkDamaged = 263;             // followed by the segment holding the chunk
inline constexpr Block kEncryptionHeaderDamaged = 264;  // followed by the first segment
inline constexpr Block kWorkFactorTooHigh = 265;        // the set's scrypt asks too much memory
inline constexpr Block kPasswordWillEncrypt = 266;      // password entry: the data gets encrypted
inline constexpr Block kEncryptionFailed = 267;         // libcrypto refused, followed by why
inline constexpr Block kInfoEncryptedKind = 268;        // "info": what the encryption is
// Everyday use: moved splits, sizes by hand, existing targets, cancelling from the window.
inline constexpr Block kPartSegmentKept = 230;  // split done, a part segment could not go
inline constexpr Block kHandSizeInvalid = 231;  // the size by hand is no segment size
inline constexpr Block kReplaceTarget = 232;    // window: replace an existing target? (Yes/No)
inline constexpr Block kTargetExists = 233;     // join refused: the target file exists
inline constexpr Block kOverwriteHint = 234;    // command line: how to replace it anyway
inline constexpr Block kCancelRunning = 235;    // window closed while working: cancel? (Yes/No)
inline constexpr Block kCancelledByUser = 236;  // the work was cancelled from the window
// What stands under a segment's name is never written through.
inline constexpr Block kSegmentLinkReplaced = 200;  // a symbolic link there was replaced
inline constexpr Block kSegmentLinkKept = 201;      // one that could not be removed: stop

// What a check against the checksum file covered, line by line (join and verify alike).
inline constexpr Block kVerifyBeyond = 202;          // "verify": a line past the set's end
inline constexpr Block kCheckMatchedCount = 203;     // followed by " matched / compared"
inline constexpr Block kCheckNotListed = 204;        // followed by the segments' names
inline constexpr Block kCheckConflicting = 205;      // followed by the segments' names
inline constexpr Block kCheckWholeNotListed = 206;   // no line for the whole file
inline constexpr Block kCheckWholeUnreadable = 207;  // its hash could not be taken
inline constexpr Block kCheckWholeLater = 208;       // packed: checked when unpacked
inline constexpr Block kCheckWholeMatched = 209;     // said when not all else could be checked
inline constexpr Block kCheckLinesUnreadable = 210;  // followed by the line numbers
inline constexpr Block kCheckFileUnreadable = 211;   // followed by its name and the reason
inline constexpr Block kCheckNoLineUsable = 212;     // nothing at all could be checked
inline constexpr Block kCheckBeyond = 213;           // followed by the segments' names
inline constexpr Block kVerifyConflicting = 214;     // "verify": a segment listed twice
inline constexpr Block kStoredNameReplaced = 215;    // followed by stored and used name

// A split stopped by the user (a signal on the command line).
inline constexpr Block kSplitSegmentsRemoved = 216;  // followed by the segments' names
inline constexpr Block kSplitSegmentsKept = 217;     // those that could not be removed
// The information screen.
inline constexpr Block kLizenz = 250;  // the program's licence, under the copyright line

// Recovery files (PAR2) beside the segments.
inline constexpr Block kRecoveryBusy = 310;          // status while recovery data is made
inline constexpr Block kRecoveryWritten = 311;       // followed by the count of segments
inline constexpr Block kRecoveryNotWritten = 312;    // split done, no recovery files; the reason
inline constexpr Block kRecoveryChecking = 313;      // status while the set is checked
inline constexpr Block kRecoveryRebuilt = 314;       // followed by the rebuilt segments
inline constexpr Block kRecoveryTooLittle = 315;     // followed by the blocks missing
inline constexpr Block kRecoveryBlocksThere = 316;   // followed by the recovery blocks there
inline constexpr Block kRecoveryIntact = 317;        // "verify": nothing to repair
inline constexpr Block kRecoveryCanRepair = 318;     // "verify": followed by the blocks missing
inline constexpr Block kRecoveryNone = 319;          // no recovery files beside the segments
inline constexpr Block kRecoveryFailed = 320;        // the repair failed; the reason
inline constexpr Block kRecoveryOption = 321;        // window: the option's label
inline constexpr Block kRecoveryRebuildsHint = 322;  // window: followed by the count of segments
inline constexpr Block kRecoveryRebuilding = 323;    // status while segments are rebuilt

}  // namespace pz::tb
