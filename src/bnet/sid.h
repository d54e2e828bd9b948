#pragma once
// Message ids of the chat server's protocol and of the BNLS protocol.

#include <cstdint>

namespace corvane {

// Chat server messages (frame: 0xFF, id, u16 length).
inline constexpr std::uint8_t SID_NULL = 0x00;
inline constexpr std::uint8_t SID_ENTERCHAT = 0x0A;
inline constexpr std::uint8_t SID_JOINCHANNEL = 0x0C;
inline constexpr std::uint8_t SID_CHATCOMMAND = 0x0E;
inline constexpr std::uint8_t SID_CHATEVENT = 0x0F;
inline constexpr std::uint8_t SID_FLOODDETECTED = 0x13;
inline constexpr std::uint8_t SID_MESSAGEBOX = 0x19;
inline constexpr std::uint8_t SID_PING = 0x25;
inline constexpr std::uint8_t SID_GETICONDATA = 0x2D;
inline constexpr std::uint8_t SID_WARCRAFTGENERAL = 0x44;
inline constexpr std::uint8_t SID_NETGAMEPORT = 0x45;
inline constexpr std::uint8_t SID_REQUIREDWORK = 0x4C;
inline constexpr std::uint8_t SID_AUTH_INFO = 0x50;
inline constexpr std::uint8_t SID_AUTH_ACCOUNTLOGON = 0x53;
inline constexpr std::uint8_t SID_AUTH_ACCOUNTLOGONPROOF = 0x54;
inline constexpr std::uint8_t SID_FRIENDSLIST = 0x65;
inline constexpr std::uint8_t SID_FRIENDSUPDATE = 0x66;
inline constexpr std::uint8_t SID_FRIENDSADD = 0x67;
inline constexpr std::uint8_t SID_FRIENDSREMOVE = 0x68;
inline constexpr std::uint8_t SID_FRIENDSPOSITION = 0x69;
inline constexpr std::uint8_t SID_CLANINFO = 0x75;
inline constexpr std::uint8_t SID_CLANINVITATION = 0x77;
inline constexpr std::uint8_t SID_CLANINVITATIONRESPONSE = 0x79;
inline constexpr std::uint8_t SID_CLANMEMBERLIST = 0x7D;
inline constexpr std::uint8_t SID_CLANMEMBERSTATUSCHANGE = 0x7F;

// Chat events (SID_CHATEVENT's first field).
inline constexpr std::uint32_t EID_SHOWUSER = 0x01;
inline constexpr std::uint32_t EID_JOIN = 0x02;
inline constexpr std::uint32_t EID_LEAVE = 0x03;
inline constexpr std::uint32_t EID_WHISPER = 0x04;
inline constexpr std::uint32_t EID_TALK = 0x05;
inline constexpr std::uint32_t EID_BROADCAST = 0x06;
inline constexpr std::uint32_t EID_CHANNEL = 0x07;
inline constexpr std::uint32_t EID_USERFLAGS = 0x09;
inline constexpr std::uint32_t EID_WHISPERSENT = 0x0A;
inline constexpr std::uint32_t EID_CHANNELFULL = 0x0D;
inline constexpr std::uint32_t EID_CHANNELDOESNOTEXIST = 0x0E;
inline constexpr std::uint32_t EID_CHANNELRESTRICTED = 0x0F;
inline constexpr std::uint32_t EID_INFO = 0x12;
inline constexpr std::uint32_t EID_ERROR = 0x13;
inline constexpr std::uint32_t EID_EMOTE = 0x17;

// BNLS messages (frame: u16 length, id).
inline constexpr std::uint8_t BNLS_LOGONCHALLENGE = 0x02;
inline constexpr std::uint8_t BNLS_LOGONPROOF = 0x03;
inline constexpr std::uint8_t BNLS_HASHDATA = 0x0B;
inline constexpr std::uint8_t BNLS_CHOOSENLSREVISION = 0x0D;
inline constexpr std::uint8_t BNLS_REQUESTVERSIONBYTE = 0x10;

}  // namespace corvane
