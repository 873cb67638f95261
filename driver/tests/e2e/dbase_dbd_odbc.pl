# Perl DBD::ODBC on the dBase and Visual FoxPro data sources through unixODBC's driver manager.
# Usage: perl dbase_dbd_odbc.pl FOLDER. Dies with the first check that does not hold.
use strict;
use warnings;
use utf8;
use DBI;
use Encode qw(decode encode);

sub check { my ($ok, $what) = @_; die encode('UTF-8', "check failed: $what\n") unless $ok; }
# Texts cross as UTF-8 bytes (Debian's DBD::ODBC is built without its Unicode calls).
sub text { my ($bytes) = @_; return defined $bytes ? decode('UTF-8', $bytes) : undef; }

my $dbh = DBI->connect('dbi:ODBC:Towns', '', '', { RaiseError => 1, PrintError => 0,
                       AutoCommit => 0, LongReadLen => 100000 });
my $rows = $dbh->selectall_arrayref('SELECT NAME, PEOPLE, CAPITAL FROM Cities ORDER BY PEOPLE');
check(scalar(@$rows) == 3, 'three rows, the deleted one left out');
check($rows->[0][0] eq 'Bern' && $rows->[0][1] == 134794 && $rows->[0][2] == 1, "first row: @{$rows->[0]}");
check(text($rows->[2][0]) eq 'Zürich', 'Zürich read back from code page 1252');
my ($note) = $dbh->selectrow_array("SELECT NOTE FROM Cities WHERE NAME = 'Bern'");
check($note eq 'Federal city', "memo: $note");
my $tables = $dbh->table_info('', '', '%', 'TABLE')->fetchall_arrayref({});
check(join(',', sort map { $_->{TABLE_NAME} } @$tables) eq 'Cities,orders', 'the folder\'s tables');
$dbh->disconnect;

$dbh = DBI->connect('dbi:ODBC:Stock', '', '', { RaiseError => 1, PrintError => 0, LongReadLen => 100000 });
$rows = $dbh->selectall_arrayref('SELECT ITEM, QTY, PRICE FROM Stock');
check(scalar(@$rows) == 3, 'three FoxPro rows');
check(text($rows->[0][0]) eq 'Москва' && $rows->[0][1] == 5 && $rows->[0][2] == 12.3456, 'first FoxPro row');
check(!defined $rows->[1][0] && !defined $rows->[1][1], 'NULLs of the null flags');
my $sth = $dbh->prepare('SELECT NOTE FROM Stock WHERE QTY = ?');
$sth->execute(-3);
my ($long) = $sth->fetchrow_array;
check(length($long) == 300, 'a memo of 300 characters');
$sth->finish;
$dbh->disconnect;
print "dbase perl: ok\n";
