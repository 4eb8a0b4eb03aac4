#pragma once
// The MX look-up of the report mail: the query, the reply and the rounds over the DNS servers.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace excreport {

// The part of an address after its first "@" (the whole address without one).
QString MxDomain(const QString& address);
// A recursive query for the domain's MX records with the given identifier.
QByteArray BuildMxQuery(const QString& domain, uint16_t id);
// The exchange of a reply to the query with that identifier: the reply must be a response with
// result code 0; the MX record of lowest preference wins; a reply without MX records names the
// domain itself. False for a reply that does not answer the query.
bool ParseMxReply(const QByteArray& reply, uint16_t id, const QString& domain, QString* host);

// The IPv4 DNS servers of the resolver's configuration, then the fallback server (a build
// setting, empty here). Tests replace the list with SivrelSetDnsServers.
QStringList GetDnsServers();
void SivrelSetDnsServers(const QStringList& servers, uint16_t port = 53);
// Five rounds over the servers (the first lasting (timeout + 150) / 5 ms, each later one 50 ms
// longer); raises ESivrelError "Cannot resolve the "<domain>" MX record." when none answers.
QString ResolveMXHost(const QString& address, int timeout);

} // namespace excreport
