// Runs epubcheck over every EPUB named, in one Java process so that its
// schemas are loaded once, and prints each book's messages followed by a
// line "CHECKED <file> <fatal+error count>".
import com.adobe.epubcheck.api.EpubCheck;
import com.adobe.epubcheck.util.DefaultReportImpl;
import java.io.File;

public class epubcheck_books {
  public static void main(String[] args) {
    for (String path : args) {
      DefaultReportImpl report = new DefaultReportImpl(path);
      new EpubCheck(new File(path), report).validate();
      System.out.println("CHECKED " + path + " " + (report.getFatalErrorCount() + report.getErrorCount()));
    }
  }
}
