# Perl DBD::ODBC against the driver through unixODBC's driver manager.
# Usage: perl dbd_odbc_client.pl FOLDER. Dies with the first check that does not hold.
use strict;
use warnings;
use utf8;
use DBI;
use Encode qw(decode encode);

my $folder = shift or die "usage: dbd_odbc_client.pl FOLDER\n";
open(my $fh, '<:encoding(UTF-8)', "$folder/long.txt") or die "$folder/long.txt: $!";
my $long = do { local $/; <$fh> };
close $fh;

sub check { my ($ok, $what) = @_; die encode('UTF-8', "check failed: $what\n") unless $ok; }
# Debian's DBD::ODBC is built without its Unicode calls: texts cross as UTF-8 bytes, which the
# driver reads as UTF-8 whatever the locale.
sub text { my ($bytes) = @_; return defined $bytes ? decode('UTF-8', $bytes) : undef; }
sub bytes { return encode('UTF-8', $_[0]); }

my $dbh = DBI->connect('dbi:ODBC:Sales', '', '', { RaiseError => 1, PrintError => 0, AutoCommit => 0,
                       LongReadLen => 100000 });
my $rows = $dbh->selectall_arrayref('SELECT City, Amount, Paid FROM [Sales 2026$] ORDER BY Amount');
check(scalar(@$rows) == 4, 'four rows');
check(text($rows->[0][0]) eq '東京' && $rows->[0][1] == 3 && $rows->[0][2] == 1, "first row: @{$rows->[0]}");
check(text($rows->[2][0]) eq 'Zürich', 'Zürich read back');
my ($amount) = $dbh->selectrow_array(bytes("SELECT Amount FROM [Sales 2026\$] WHERE City = 'Zürich'"));
check(defined $amount && $amount == 12.5, 'literal Zürich matches');
($amount) = $dbh->selectrow_array('SELECT Amount FROM [Sales 2026$] WHERE City = ?', undef, bytes('Zürich'));
check(defined $amount && $amount == 12.5, 'parameter Zürich matches');
my ($note) = $dbh->selectrow_array("SELECT Note FROM [Sales 2026\$] WHERE City = 'Bern'");
$note = text($note);
check($note eq $long, 'the long text whole (' . length($note) . ' characters)');
my ($day) = $dbh->selectrow_array("SELECT Day FROM [Sales 2026\$] WHERE City = 'Bern'");
check($day eq '2026-02-01 00:00:00', "the date as text: $day");
my @tables = map { $_->[2] } @{ $dbh->table_info('', '', '%', 'TABLE')->fetchall_arrayref };
check("@tables" eq 'Sales 2026$ Mixed$ Numbers$ Cities', "tables: @tables");
my @columns = map { $_->[3] } @{ $dbh->column_info(undef, undef, 'Numbers$', '%')->fetchall_arrayref };
check("@columns" eq 'N Half', "columns: @columns");
eval { $dbh->do('DELETE FROM [Numbers$]'); };
check($@ =~ /\[Tabrix\] the workbook .* is read-only: DELETE is refused/ && $DBI::state eq '42000',
      "DELETE refused: $@");
eval { $dbh->selectall_arrayref('SELECT * FROM [Nothing$]'); };
check($@ =~ /no table 'Nothing\$'/ && $DBI::state eq '42S02', "unknown table: $@");
$dbh->commit;
$dbh->disconnect;
print "all checks passed\n";
