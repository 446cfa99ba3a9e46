// Tx: images, feedback, announcements and user data.
#include "server/store/tx.h"

namespace nuve::server {
namespace {

ImageRecord ImageFromRow(const SqlRow& row) {
  return ImageRecord{row.Int(0), row.Text(1), row.Text(2), row.Int(3), row.Int(4)};
}

Announcement AnnouncementFromRow(const SqlRow& row) {
  return Announcement{row.Int(0), row.Text(1), row.Text(2), row.Int(3)};
}

}  // namespace

std::optional<ImageRecord> Tx::FindImage(std::string_view hash) {
  const SqlRows rows =
      sql_.Query("SELECT id, hash, mime, created, reference_num FROM images WHERE hash = $1", {hash});
  if (rows.empty()) return std::nullopt;
  return ImageFromRow(rows.front());
}

std::optional<ImageContent> Tx::ImageBytes(std::string_view hash) {
  const SqlRows rows = sql_.Query("SELECT mime, content FROM images WHERE hash = $1", {hash});
  if (rows.empty()) return std::nullopt;
  return ImageContent{rows.front().Text(0), rows.front().Text(1)};
}

ImageRecord Tx::SaveImage(std::string_view hash, std::string_view mime, std::string_view bytes, std::int64_t now,
                          std::optional<std::int64_t> uploader) {
  const SqlRows rows = sql_.Query(
      "INSERT INTO images (hash, mime, content, created, reference_num, uploader_id) VALUES ($1, $2, $3, $4, 1, $5) "
      "ON CONFLICT (hash) DO UPDATE SET reference_num = images.reference_num + 1 "
      "RETURNING id, hash, mime, created, reference_num",
      {hash, mime, SqlParam::Blob(bytes), now, uploader ? SqlParam(*uploader) : SqlParam::Null()});
  return ImageFromRow(rows.at(0));
}

std::int64_t Tx::CountImagesStoredBy(std::int64_t user_id, std::int64_t since) {
  return sql_.Query("SELECT count(*) FROM images WHERE uploader_id = $1 AND created > $2", {user_id, since})
      .at(0)
      .Int(0);
}

void Tx::InsertFeedback(std::int64_t user_id, std::string_view title, std::string_view content,
                        std::int64_t now) {
  sql_.Query("INSERT INTO feedback (user_id, title, content, created) VALUES ($1, $2, $3, $4)",
             {user_id, title, content, now});
}

std::int64_t Tx::CountFeedbackSince(std::int64_t user_id, std::int64_t since) {
  return sql_.Query("SELECT count(*) FROM feedback WHERE user_id = $1 AND created > $2", {user_id, since})
      .at(0)
      .Int(0);
}

std::vector<FeedbackEntry> Tx::ListFeedback(std::int64_t limit) {
  std::vector<FeedbackEntry> entries;
  for (const SqlRow& row : sql_.Query(
           "SELECT f.id, u.account, f.title, f.content, f.created FROM feedback f "
           "JOIN users u ON u.id = f.user_id ORDER BY f.id DESC LIMIT $1",
           {limit})) {
    entries.push_back(FeedbackEntry{row.Int(0), row.Text(1), row.Text(2), row.Text(3), row.Int(4)});
  }
  return entries;
}

std::int64_t Tx::InsertAnnouncement(std::string_view title, std::string_view content, std::int64_t now) {
  return sql_
      .Query("INSERT INTO announcements (title, content, push_time) VALUES ($1, $2, $3) RETURNING id",
             {title, content, now})
      .at(0)
      .Int(0);
}

std::vector<Announcement> Tx::ListAnnouncements(std::int64_t limit) {
  std::vector<Announcement> list;
  for (const SqlRow& row : sql_.Query(
           "SELECT id, title, content, push_time FROM announcements ORDER BY push_time DESC, id DESC LIMIT $1",
           {limit})) {
    list.push_back(AnnouncementFromRow(row));
  }
  return list;
}

std::optional<Announcement> Tx::FindAnnouncement(std::optional<std::int64_t> id) {
  const SqlRows rows =
      id ? sql_.Query("SELECT id, title, content, push_time FROM announcements WHERE id = $1", {*id})
         : sql_.Query("SELECT id, title, content, push_time FROM announcements ORDER BY push_time DESC, id DESC "
                      "LIMIT 1");
  if (rows.empty()) return std::nullopt;
  return AnnouncementFromRow(rows.front());
}

bool Tx::DeleteAnnouncement(std::int64_t id) {
  return !sql_.Query("DELETE FROM announcements WHERE id = $1 RETURNING id", {id}).empty();
}

std::optional<std::string> Tx::UserData(std::int64_t user_id, std::string_view key) {
  const SqlRows rows = sql_.Query("SELECT value FROM user_data WHERE user_id = $1 AND key = $2", {user_id, key});
  if (rows.empty()) return std::nullopt;
  return rows.front().Text(0);
}

std::int64_t Tx::CountUserData(std::int64_t user_id) {
  return sql_.Query("SELECT count(*) FROM user_data WHERE user_id = $1", {user_id}).at(0).Int(0);
}

std::int64_t Tx::UserDataBytes(std::int64_t user_id) {
  const char* sql = sql_.dialect() == SqlDialect::kSqlite
                        ? "SELECT coalesce(sum(length(CAST(value AS BLOB))), 0) FROM user_data WHERE user_id = $1"
                        : "SELECT coalesce(sum(octet_length(value)), 0) FROM user_data WHERE user_id = $1";
  return sql_.Query(sql, {user_id}).at(0).Int(0);
}

void Tx::PutUserData(std::int64_t user_id, std::string_view key, std::string_view value, std::int64_t now) {
  sql_.Query(
      "INSERT INTO user_data (user_id, key, value, updated) VALUES ($1, $2, $3, $4) "
      "ON CONFLICT (user_id, key) DO UPDATE SET value = excluded.value, updated = excluded.updated",
      {user_id, key, value, now});
}

}  // namespace nuve::server
