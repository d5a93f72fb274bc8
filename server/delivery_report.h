// The delivery status notification (RFC 3464) that tells a sender which recipients of a
// voice message never got it: one per message, once every recipient is settled.
#pragma once

#include <string>

#include "server/mail_compose.h"
#include "server/smtp_relay.h"

namespace murmel::server {

class Delivery;

inline constexpr char kDeliveryStatusType[] = "message/delivery-status";
inline constexpr char kHeadersType[] = "text/rfc822-headers";

// The report before its From, Date and Message-ID: the text for people, and the status
// and the message's headers as the two parts that follow it (kDeliveryStatusType, then
// kHeadersType). serviceAddress names the reporting host.
MailContent DeliveryReportMail(const Undelivered& message, const std::string& serviceAddress);

// multipart/report; report-type=delivery-status from such content.
std::string ComposeDeliveryReport(const MailContent& report);

// Hands each report to delivery, which stores it in the outbox like any of its e-mail.
SmtpRelay::Report ReportsThrough(Delivery& delivery);

}  // namespace murmel::server
