#pragma once
// The texts the service answers with; the browser shows them as they are.

#include <cstdint>
#include <string>

namespace nuve::server::texts {

inline constexpr char kLoginOk[] = "登录成功";
inline constexpr char kOk[] = "操作成功";
inline constexpr char kRegisterOk[] = "注册成功";
inline constexpr char kCodeSent[] = "验证码已发送，请查收邮件";
inline constexpr char kPasswordChanged[] = "密码修改成功";
inline constexpr char kFeedbackOk[] = "反馈成功，感谢您的意见";
inline constexpr char kUploadOk[] = "上传成功";
inline constexpr char kProfileUpdated[] = "资料修改成功";
inline constexpr char kSaved[] = "保存成功";

inline constexpr char kBadAppKey[] = "应用密钥无效，请使用正版NUVE浏览器";
inline constexpr char kWrongPassword[] = "账号或密码错误";
inline constexpr char kWrongOldPassword[] = "账号或原密码错误";
inline constexpr char kMissingCredentials[] = "请输入账号和密码";
inline constexpr char kNotLoggedIn[] = "登录已过期，请重新登录";
inline constexpr char kBanned[] = "该号已被封停！";
inline constexpr char kSignupsClosed[] = "注册已关闭";
inline constexpr char kBadAccount[] = "账号必须是8到10位数字";
inline constexpr char kAccountTaken[] = "该账号已被注册";
inline constexpr char kNoSuchAccount[] = "账号不存在";
inline constexpr char kNoEmail[] = "该账号没有绑定邮箱，无法找回密码";
inline constexpr char kBadEmail[] = "邮箱格式不正确";
inline constexpr char kBadPassword[] = "密码长度必须为6到16个字符";
inline constexpr char kBadName[] = "昵称必须是1到20个字符";
inline constexpr char kBadPhone[] = "手机号格式不正确";
inline constexpr char kBadCode[] = "验证码错误";
inline constexpr char kCodeGone[] = "验证码已失效，请重新获取";
inline constexpr char kBadImage[] = "图片必须是不超过2MB的PNG、JPEG或GIF文件";
inline constexpr char kNoSuchImage[] = "图片不存在";
inline constexpr char kAvatarNotUploaded[] = "头像图片不存在，请先上传";
inline constexpr char kMailFailed[] = "邮件发送失败，请稍后再试";
inline constexpr char kDailyMailCap[] = "今日发送次数已达上限，请明天再试";
inline constexpr char kBadTitle[] = "标题必须是1到50个字符";
inline constexpr char kBadContent[] = "内容必须是1到2000个字符";
inline constexpr char kNoSuchAnnouncement[] = "公告不存在";
inline constexpr char kNoSuchUser[] = "用户不存在";
inline constexpr char kBadId[] = "编号格式不正确";
inline constexpr char kBadKey[] = "数据名必须是1到64个字符";
inline constexpr char kValueTooLong[] = "数据内容过长";
inline constexpr char kTooManyKeys[] = "数据项已达上限";
inline constexpr char kNothingToChange[] = "没有要修改的资料";
inline constexpr char kEmailNeedsPassword[] = "修改邮箱需要验证当前密码，并通过发往新邮箱的链接确认";
inline constexpr char kWrongCurrentPassword[] = "当前密码错误";
inline constexpr char kSameEmail[] = "新邮箱与当前邮箱相同";
inline constexpr char kImagesToday[] = "今日上传图片次数已达上限，请明天再试";
inline constexpr char kImagesInAll[] = "上传图片数量已达上限";
inline constexpr char kFeedbackToday[] = "今日反馈次数已达上限，请明天再试";
inline constexpr char kUserDataFull[] = "数据总量已达上限";

inline constexpr char kBadEncoding[] = "请求中含有无效的字符";
inline constexpr char kMalformed[] = "请求格式错误";
inline constexpr char kTooLarge[] = "请求内容过大";
inline constexpr char kHeadersTooLarge[] = "请求头过大";
inline constexpr char kNotFound[] = "接口不存在";
inline constexpr char kBusy[] = "服务繁忙，请稍后再试";
inline constexpr char kDiskFull[] = "服务器存储空间不足，请稍后再试";
inline constexpr char kUnavailable[] = "服务暂时不可用，请稍后再试";

// "密码错误次数过多，请N分钟后再试", N rounded up.
std::string TooManyFailures(std::int64_t wait_ms);
// "发送过于频繁，请N秒后再试".
std::string MailTooSoon(std::int64_t wait_seconds);
// "重置密码邮件已发送至 a***@example.com，请查收".
std::string ResetMailSent(const std::string& email);
// "确认邮件已发送至 a***@example.com，请在30分钟内打开邮件中的链接完成修改".
std::string EmailChangeMailSent(const std::string& email);
// a***@example.com
std::string MaskedEmail(const std::string& email);

}  // namespace nuve::server::texts
