// What travels between this machine and the service: the packed favourites,
// their encryption, the key's wrapping, and the reading of replies, each
// with what a broken, hostile or tampered input gives.
#include <gtest/gtest.h>
#include <zlib.h>

#include "core/sync/sync_client.h"
#include "core/sync/sync_crypto.h"
#include "core/sync/sync_payload.h"

namespace nuve::core {
namespace {

std::string Zip(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
           static_cast<uLong>(text.size()));
  out.resize(size);
  return out;
}

TEST(SyncPayload, PacksAndUnpacksAndRefusesWhatIsNoTree) {
  SyncTree tree;
  tree.emplace("f", SyncItem{"f", "", true, "工具", ""});
  tree.emplace("a", SyncItem{"a", "f", false, "翻译", "http://fanyi.test/?q=\"x\""});
  const std::string packed = PackSyncTree(tree);
  EXPECT_EQ(UnpackSyncTree(packed), tree);
  EXPECT_EQ(PackSyncTree(*UnpackSyncTree(packed)), packed) << "the same tree packs the same";

  // Names from elsewhere are made safe; favourites without an address and
  // parents that are missing or no folder are mended, not refused.
  const auto mended = UnpackSyncTree(Zip(R"({"v":1,"items":[["a","",0,"../<x>","http://a.test/"],)"
                                         R"(["b","a",0,"b","http://b.test/"],["c","gone",0,"c","http://c.test/"],)"
                                         R"(["d","",0,"d",""]]})"));
  ASSERT_TRUE(mended);
  EXPECT_EQ(mended->at("a").name, "..／＜x＞");
  EXPECT_TRUE(mended->at("b").parent.empty());
  EXPECT_TRUE(mended->at("c").parent.empty());
  EXPECT_EQ(mended->count("d"), 0u);

  const std::string refused[] = {
      "",
      "not zlib at all",
      packed.substr(0, packed.size() / 2),                        // truncated
      packed + "trailing",                                        // more than one stream
      Zip("{\"v\":2,\"items\":[]}"),                              // another format
      Zip("{\"v\":2.5e110,\"items\":[]}"),                        // a version no int holds
      Zip(R"({"v":1,"items":[["a","",4294967297,"x","http://a.test/"]]})"),  // kind 1 in 32 bits
      Zip("[1,2,3]"),
      Zip(R"({"v":1,"items":[["a","",0,"x","http://a.test/"],["a","",0,"y","http://b.test/"]]})"),  // repeated id
      Zip(R"({"v":1,"items":[["bad id!","",0,"x","http://a.test/"]]})"),
      Zip(R"({"v":1,"items":[["a","",7,"x","http://a.test/"]]})"),
      Zip(R"({"v":1,"items":[["a","",0,"x"]]})"),
      Zip(std::string(70u * 1024 * 1024, ' ')),  // more than 64 MiB unpacked
  };
  for (const std::string& bad : refused) EXPECT_FALSE(UnpackSyncTree(bad)) << bad.size();
}

TEST(SyncCrypto, OnlyTheRightKeyAndContextOpenTheData) {
  const SecretKey key = SecretKey::Random();
  const SecretKey other = SecretKey::Random();
  const std::string context = FavouritesContext("12345678", 1, 7);
  const std::string sealed = Encrypt(key, "收藏", context);
  EXPECT_NE(Encrypt(key, "收藏", context), sealed) << "a fresh nonce each time";
  EXPECT_EQ(Decrypt(key, sealed, context), "收藏");
  EXPECT_FALSE(Decrypt(other, sealed, context)) << "another key";
  EXPECT_FALSE(Decrypt(key, sealed, FavouritesContext("12345678", 1, 6))) << "another revision";
  EXPECT_FALSE(Decrypt(key, sealed, FavouritesContext("87654321", 1, 7))) << "another account";
  EXPECT_FALSE(Decrypt(key, sealed, FavouritesContext("12345678", 2, 7))) << "another generation";
  for (std::size_t i = 0; i < sealed.size(); ++i) {
    std::string flipped = sealed;
    flipped[i] = static_cast<char>(flipped[i] ^ 1);
    ASSERT_FALSE(Decrypt(key, flipped, context)) << "byte " << i;
  }
  EXPECT_FALSE(Decrypt(key, sealed.substr(0, 30), context));
  EXPECT_FALSE(Decrypt(key, "", context));

  // The key-encryption key: the same password and params give the same key;
  // a hostile service cannot make the browser spend any amount of memory.
  KdfParams params = NewKdfParams(1, 8192);
  const auto kek = DeriveKeyEncryptionKey("secret-1", params);
  ASSERT_TRUE(kek);
  EXPECT_TRUE(*DeriveKeyEncryptionKey("secret-1", params) == *kek);
  EXPECT_FALSE(*DeriveKeyEncryptionKey("secret-2", params) == *kek);
  KdfParams greedy = params;
  greedy.mem = 4ull * 1024 * 1024 * 1024;
  EXPECT_FALSE(DeriveKeyEncryptionKey("secret-1", greedy));
  KdfParams slow = params;
  slow.ops = 1000;
  EXPECT_FALSE(DeriveKeyEncryptionKey("secret-1", slow));
  KdfParams short_salt = params;
  short_salt.salt = "short";
  EXPECT_FALSE(DeriveKeyEncryptionKey("secret-1", short_salt));

  EXPECT_EQ(SecretKey::FromBase64(key.ToBase64()), key);
  EXPECT_FALSE(SecretKey::FromBase64("c2hvcnQ="));
  EXPECT_FALSE(SecretKey::FromBase64("not base64 !"));
}

TEST(SyncReplies, OnlyTheDocumentedAnswersAreRead) {
  std::string payload;
  const auto kind = [&](const std::string& body) { return ReadSyncEnvelope(body, payload).kind; };
  EXPECT_EQ(kind(R"({"code":0,"result":true,"message":"ok","responseBody":{"revision":3}})"), SyncReplyKind::kOk);
  EXPECT_EQ(payload, R"({"revision":3})");
  EXPECT_EQ(kind(R"({"code":2,"result":false,"message":"登录已过期","responseBody":null})"), SyncReplyKind::kNotLoggedIn);
  EXPECT_EQ(kind(R"({"code":6,"result":false,"message":"改过了","responseBody":null})"), SyncReplyKind::kConflict);
  EXPECT_EQ(kind(R"({"code":4,"result":false,"message":"该号已被封停！","responseBody":null})"), SyncReplyKind::kRefused);
  EXPECT_EQ(kind(R"({"code":5,"result":false,"message":"忙","responseBody":null})"), SyncReplyKind::kOffline);
  EXPECT_EQ(kind(""), SyncReplyKind::kOffline) << "no answer at all";
  for (const char* garbage : {"<html>502 Bad Gateway</html>", R"({"code":0,"result":tru)", R"({"code":"0"})",
                              R"({"code":0,"result":true,"message":"no body"})", "[]", "\x1f\x8b\x08 gzip?"}) {
    EXPECT_EQ(kind(garbage), SyncReplyKind::kBadReply) << garbage;
  }

  RemoteState state;
  const std::string key = R"("key":{"kdf":"argon2id13","ops":2,"mem":67108864,"salt":"AAAAAAAAAAAAAAAAAAAAAA==",)"
                          R"("wrapped":"AAAA"})";
  EXPECT_TRUE(ReadRemoteState(R"({"generation":1,"revision":4,"keyReset":false,)" + key + R"(,"blob":"AQID"})", state));
  EXPECT_EQ(state.revision, 4);
  EXPECT_EQ(state.blob, std::string("\x01\x02\x03"));
  EXPECT_TRUE(ReadRemoteState(R"({"generation":0,"revision":0,"key":null,"blob":null})", state));
  EXPECT_FALSE(state.key);
  for (const std::string& bad : std::vector<std::string>{
           R"({"generation":1,"revision":4})",                                  // a generation without its key
           R"({"generation":-1,"revision":0})",
           R"({"generation":1,"revision":"4",)" + key + "}",
           R"({"generation":1,"revision":4,)" + key + R"(,"blob":"!!not base64!!"})",
           R"({"generation":1,"revision":4,"key":{"kdf":"scrypt","ops":2,"mem":1,"salt":"","wrapped":""}})",
           R"({"generation":1,"revision":4,"keyReset":"yes",)" + key + "}",
           "null", "{}"}) {
    EXPECT_FALSE(ReadRemoteState(bad, state)) << bad;
  }
}

}  // namespace
}  // namespace nuve::core
