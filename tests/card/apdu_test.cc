#include "card/apdu.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/text.h"
#include "tests/card/scripted_card.h"

namespace {

TEST(ExchangeTest, FollowsMoreDataAndWrongLength) {
  // 61 10 is followed by GET RESPONSE with Le 10 and the data of both answers is joined.
  ScriptedCard chained([](const std::string& cmd) {
    if (cmd == "00C0000010") return std::string("BBBB9000");
    return std::string("AAAA6110");
  });
  CardChannel channel{&chained};
  EXPECT_EQ(HexEncode(Exchange(&channel, HexDecode("00B00000FF"))), "AAAABBBB");
  EXPECT_EQ(channel.statusWord, 0x9000);
  EXPECT_EQ(chained.sent, (std::vector<std::string>{"00B00000FF", "00C0000010"}));
  EXPECT_EQ(channel.commandCount, 2);

  // 6C 20 to Le FF: the same command again with Le 20; its data replaces the first.
  ScriptedCard wrongLe([](const std::string& cmd) {
    return cmd == "00B0000020" ? std::string("0102") + "9000" : std::string("6C20");
  });
  channel = CardChannel{&wrongLe};
  EXPECT_EQ(HexEncode(Exchange(&channel, HexDecode("00B00000FF"))), "0102");
  EXPECT_EQ(wrongLe.sent, (std::vector<std::string>{"00B00000FF", "00B0000020"}));

  // A command without Le ends in data: it is never re-sent with that byte changed (for VERIFY
  // that would present another PIN and spend an attempt).
  ScriptedCard verify(ScriptedCard::Always("6C08"));
  channel = CardChannel{&verify};
  Exchange(&channel, HexDecode("00200081083132333435363738"));
  EXPECT_EQ(verify.sent.size(), 1u);
  EXPECT_EQ(channel.statusWord, 0x6C08);
}

TEST(ExchangeTest, BoundsRunawayCards) {
  // A card that answers 61 xx forever gets exactly 8 GET RESPONSE commands per exchange.
  ScriptedCard endless(ScriptedCard::Always("00616110"));
  CardChannel channel{&endless};
  Bytes data = Exchange(&channel, HexDecode("00A4040C00"));
  EXPECT_EQ(endless.sent.size(), 9u);
  EXPECT_EQ(data.size(), 9u * 2);
  EXPECT_EQ(channel.statusWord, 0x6110);

  // The 151st command of a session is not sent and the last real status word stays.
  ScriptedCard plain(ScriptedCard::Always("9000"));
  channel = CardChannel{&plain};
  for (int i = 0; i < 149; ++i) Exchange(&channel, HexDecode("00B00000FF"));
  ScriptedCard last(ScriptedCard::Always("6A82"));
  channel.card = &last;
  Exchange(&channel, HexDecode("00A4040000"));
  EXPECT_EQ(channel.commandCount, 150);
  EXPECT_TRUE(Exchange(&channel, HexDecode("00A4040000")).empty());
  EXPECT_EQ(last.sent.size(), 1u);
  EXPECT_EQ(channel.statusWord, 0x6A82);
  EXPECT_EQ(channel.commandCount, 150);

  // A 6Cxx whose re-send would pass the cap leaves that status, not an older 9000.
  ScriptedCard wrongLe(ScriptedCard::Always("6C10"));
  channel = CardChannel{&wrongLe};
  channel.commandCount = 149;
  channel.statusWord = 0x9000;
  Exchange(&channel, HexDecode("00B00000FF"));
  EXPECT_EQ(wrongLe.sent.size(), 1u);
  EXPECT_EQ(channel.statusWord, 0x6C10);

  // The cap also ends a GET RESPONSE chain.
  ScriptedCard chain(ScriptedCard::Always("6101"));
  channel = CardChannel{&chain};
  channel.commandCount = 147;
  Exchange(&channel, HexDecode("00B00000FF"));
  EXPECT_EQ(chain.sent.size(), 3u);

  // No answer, a short answer, no card or an empty command: -1 and nothing returned.
  ScriptedCard mute(ScriptedCard::Always("mute"));
  channel = CardChannel{&mute};
  EXPECT_TRUE(Exchange(&channel, HexDecode("00B00000FF")).empty());
  EXPECT_EQ(channel.statusWord, -1);
  ScriptedCard shortAnswer(ScriptedCard::Always("90"));
  channel = CardChannel{&shortAnswer};
  Exchange(&channel, HexDecode("00B00000FF"));
  EXPECT_EQ(channel.statusWord, -1);
  channel = CardChannel{};
  channel.statusWord = 0x9000;
  Exchange(&channel, HexDecode("00B00000FF"));
  EXPECT_EQ(channel.statusWord, -1);
  EXPECT_EQ(channel.commandCount, 0);
}

TEST(ExchangeTest, CommandBytes) {
  // Each P2 of a list goes without Le, then with Le 00, until one answers 9000.
  ScriptedCard card(ScriptedCard::Always("6A82"));
  CardChannel channel{&card};
  EXPECT_FALSE(SelectByName(&channel, HexDecode("E828BD080FD25047656E65726963"), {0x04, 0x0C}));
  EXPECT_FALSE(SelectFile(&channel, 0x3F00, 0x02, {0x0C}));
  EXPECT_FALSE(SelectOnce(&channel, HexDecode("A0000000"), 0x04, 0x0C));
  ReadBinary(&channel, 0x1234);
  ReadBinaryOdd(&channel, 0x1234);
  ManageSecurityEnvironment(&channel, HexDecode("840182800142"));
  ComputeDigitalSignature(&channel, Bytes(32, 0xAB));
  const std::string aid = "0EE828BD080FD25047656E65726963";
  EXPECT_EQ(card.sent, (std::vector<std::string>{"00A40404" + aid, "00A40404" + aid + "00", "00A4040C" + aid,
                                                 "00A4040C" + aid + "00", "00A4020C023F00",
                                                 "00A4020C023F0000", "00A4040C04A000000000", "00B01234FF",
                                                 "00B100000454021234FF", "002241B606840182800142",
                                                 "002A9E9A20" + HexEncode(Bytes(32, 0xAB)) + "00"}));
  // READ BINARY keeps bit 8 of P1 clear: offsets stay below 32768.
  card.sent.clear();
  ReadBinary(&channel, 0x7FFF);
  EXPECT_EQ(card.sent[0], "00B07FFFFF");
}

TEST(StatusWordTest, Texts) {
  EXPECT_EQ(HexStatusWord(-1), "FFFF");
  EXPECT_EQ(HexStatusWord(0x6a82), "6A82");
  EXPECT_EQ(StatusWordText(0x63C2), "63Cx: quedan 2 intento(s) (SW=63C2)");
  EXPECT_EQ(StatusWordText(0x9000), "OK (9000)");
  EXPECT_EQ(StatusWordText(-1), "sin respuesta (timeout)");
  EXPECT_EQ(StatusWordText(0x6A83), "SW=6A83");
  EXPECT_EQ(PinErrorText(0x63C2), "PIN incorrecto: quedan 2 intento(s).");
  EXPECT_EQ(PinErrorText(0x6984),
            "PIN bloqueado: hay que desbloquearlo con el codigo PUK/clave de desbloqueo.");
  EXPECT_EQ(PinErrorText(0x6700), "La tarjeta no admite ese PIN (longitud o formato). SW=6700");
  EXPECT_EQ(PinErrorText(-1), "La tarjeta dejo de responder (timeout).");
  EXPECT_EQ(PinErrorText(0x6A88), "Verificacion de PIN rechazada: referencia de datos no encontrada (6A88)");
}

TEST(CardErrorTest, KeepsTheFirstRefusal) {
  ClearCardError();
  CardChannel channel;
  channel.statusWord = 0x6A82;  // not found is not a refusal
  NoteCardError(channel);
  channel.statusWord = 0x6A83;
  NoteCardError(channel);
  channel.statusWord = 0x6982;
  NoteCardError(channel);
  EXPECT_EQ(TakeCardError(channel), "la tarjeta rechazo el comando. SW=6A83");
  // Taking clears it; an empty text is filled from the channel first.
  EXPECT_EQ(TakeCardError(channel),
            "la tarjeta exige canal seguro (PACE/CAN); introduzca el DNIe con su PIN/CAN. SW=6982");
  channel.statusWord = -1;
  EXPECT_EQ(TakeCardError(channel), "la tarjeta dejo de responder (timeout); mantenga el DNIe en el lector.");
  channel.statusWord = 0x6E00;
  EXPECT_EQ(TakeCardError(channel), "comando no soportado por la tarjeta. SW=6E00");
  channel.statusWord = 0x9000;
  EXPECT_EQ(TakeCardError(channel), "");
}

}  // namespace
