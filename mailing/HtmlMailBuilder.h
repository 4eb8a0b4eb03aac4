#pragma once
// Builds the MIME layout of an HTML mail template: local pictures become inline parts that the
// HTML refers to with "cid:" links, a plain-text alternative is made from the HTML's text, and
// the container parts are arranged for pictures, attachments, both or neither.
#include "mailing/MyMessage.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Asks the user a Yes/No question; true for Yes.
using TAskYesNo = std::function<bool(const QString& text)>;

// The question for a picture that cannot be embedded, and the error raised when the user
// answers No.
QString MissingPictureQuestion(const QString& source);
QString MissingPictureError(const QString& source);

// Fills a newly created message with the layout of an HTML mail.
//
// Layouts (part index: content type (parent)):
//   no pictures, no attachments: message "multipart/alternative"; 0 plain (-1), 1 html (-1)
//   pictures only:  "multipart/related"; 0 alternative (-1), 1 plain (0), 2 html (0), pictures (-1)
//   attachments only: "multipart/mixed"; 0 alternative (-1), 1 plain (0), 2 html (0)
//   both: "multipart/mixed"; 0 related (-1), 1 alternative (0), 2 plain (1), 3 html (1),
//         pictures (0)
// The attachments are added afterwards at the top level (AddAttachments).
//
// Each local picture gets the content id of its first reference: a number counted up from
// firstId (default: the system's millisecond tick count) once per picture reference. A
// reference that is no readable picture file asks `ask`; No raises std::runtime_error with
// MissingPictureError. URLs and "data:" sources stay as they are.
void BuildHtmlMessage(TMyMessage& Message, const QStringList& HtmlLines, int AttachmentCount,
                      const TAskYesNo& ask, std::optional<qint32> firstId = std::nullopt);
